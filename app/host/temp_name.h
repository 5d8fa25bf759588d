// The names of a result's temporaries, the same on every host:
// ".<result name>.<process id>.<six letters or digits>". The leading dot
// hides them; the result's name and the process that made one tell whose it
// is, so that a later run can remove those of processes that have ended.
#pragma once

#include <cstddef>
#include <string>

// How many letters or digits end a temporary's name.
constexpr std::size_t kTempSuffixLength = 6;

// ".<result name>.", how every temporary of the result begins. A result
// name longer than 200 bytes is cut there (back to the start of a UTF-8
// character), so the whole name stays within the 255 bytes or characters a
// file system allows.
std::string temp_name_stem(const std::string& result_name);

// ".<result name>.<pid>.", the name without its last six characters.
std::string temp_name_prefix(const std::string& result_name, unsigned long pid);

// Six lower-case letters or digits (the same name on a file system that
// ignores case) that differ between processes and between calls: the end
// of a fresh temporary's name for the process pid.
std::string temp_name_suffix(unsigned long pid);

// Whether entry (a name in a folder) is exactly the name of a temporary of
// result_name as temp_name_prefix makes it: the process id in decimal
// without a leading zero, from 1 to 4294967295, then six ASCII letters or
// digits and nothing after them. Sets pid when it is.
bool temp_name_owner(const std::string& entry, const std::string& result_name, unsigned long long& pid);
