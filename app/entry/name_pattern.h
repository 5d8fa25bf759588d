// File-name patterns as a shell takes them: '*' and '?' in the name part of
// a path.
#pragma once

#include <cstddef>
#include <string>

// Whether text holds a wildcard ('*' or '?').
bool has_wildcards(const std::string& text);

// Whether name matches pattern: '*' matches any run of characters (none
// included), '?' exactly one, every other character itself. Characters are
// UTF-8 code points (a byte that is not valid UTF-8 counts as one); both
// texts are compared exactly as given, so a caller that ignores case hands
// both in one case. Runs in time proportional to the product of the lengths
// at worst, with no recursion.
bool name_matches(const std::string& pattern, const std::string& name);
