// Names on Windows: the device names, the trailing dots and blanks that
// Windows' path rules would change, and colons, which name a file's streams.
#include "host/host_names.h"

#include <cstddef>

namespace {

bool separator(char c) { return c == '\\' || c == '/'; }

char ascii_upper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }

// A digit 1 to 9 as the device names COM1 and LPT1 take it, also the
// superscripts 1, 2 and 3 (UTF-8 C2 B9, C2 B2, C2 B3), which Windows counts
// as digits there.
bool device_digit(const std::string& s) {
  if (s.size() == 1) return s[0] >= '1' && s[0] <= '9';
  return s == "\xC2\xB9" || s == "\xC2\xB2" || s == "\xC2\xB3";
}

// The part of a name before its first dot, trailing blanks dropped, in upper
// case: what Windows compares with its device names ("nul .txt" is NUL).
bool is_device_name(const std::string& name) {
  std::string stem = name.substr(0, name.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (char& c : stem) c = ascii_upper(c);
  if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL" || stem == "CONIN$" || stem == "CONOUT$")
    return true;
  return (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) && device_digit(stem.substr(3));
}

}  // namespace

failure name_refusal(const std::string& host_path) {
  // A path in \\?\ or \\.\ form asks for its names to be taken literally.
  if (host_path.size() >= 4 && separator(host_path[0]) && separator(host_path[1]) &&
      (host_path[2] == '?' || host_path[2] == '.') && separator(host_path[3]))
    return {};
  for (std::size_t i = 0; i <= host_path.size();) {
    std::size_t j = i;
    while (j < host_path.size() && !separator(host_path[j])) ++j;
    std::string name = host_path.substr(i, j - i);
    // A drive ("C:", or "C:name", relative to that drive's folder) is the
    // first name's only colon.
    if (i == 0 && name.size() >= 2 && name[1] == ':' && ascii_upper(name[0]) >= 'A' && ascii_upper(name[0]) <= 'Z')
      name.erase(0, 2);
    i = j + 1;
    if (name.empty() || name == "." || name == "..") continue;
    if (name.find(':') != std::string::npos)
      return failure::refused("a name with a colon, which Windows takes for a stream of another file", step::none);
    if (is_device_name(name)) return failure::refused("a reserved device name on Windows", step::none);
    if (name.back() == '.') return failure::refused("a name ending in a dot, which Windows would drop", step::none);
    if (name.back() == ' ') return failure::refused("a name ending in a blank, which Windows would drop", step::none);
  }
  return {};
}

// A UTF-16 unit outside the surrogates is 1 to 3 bytes of UTF-8; a pair of
// surrogates is 4 bytes for 2 units.
std::size_t longest_path_bytes() { return 32767 * 3; }
