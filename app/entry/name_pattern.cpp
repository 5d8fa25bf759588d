// File-name patterns: '*' any run of characters, '?' exactly one.
#include "entry/name_pattern.h"

namespace {

// The length of the UTF-8 character starting at s[i]: 1 to 4, or 1 for a
// byte that does not begin a valid sequence within the text.
std::size_t char_length(const std::string& s, std::size_t i) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  const std::size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 1;
  if (i + n > s.size()) return 1;
  for (std::size_t k = 1; k < n; ++k)
    if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 1;
  return n;
}

}  // namespace

bool has_wildcards(const std::string& text) { return text.find_first_of("*?") != std::string::npos; }

bool name_matches(const std::string& pattern, const std::string& name) {
  // Greedy matching with one way back: on a mismatch, the last '*' takes
  // one more character of the name. Each '*' that follows makes the earlier
  // ones' choices final, so this finds a match whenever there is one.
  std::size_t p = 0, n = 0;
  std::size_t star = std::string::npos, star_n = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = ++p;
      star_n = n;
      continue;
    }
    if (p < pattern.size()) {
      const std::size_t pl = char_length(pattern, p), nl = char_length(name, n);
      if (pattern[p] == '?' || pattern.compare(p, pl, name, n, nl) == 0) {
        p += pattern[p] == '?' ? 1 : pl;
        n += nl;
        continue;
      }
    }
    if (star == std::string::npos) return false;
    star_n += char_length(name, star_n);
    p = star;
    n = star_n;
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}
