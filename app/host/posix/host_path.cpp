// Paths in drive form on POSIX: the base directory C:\images\ is the folder
// images/ in the current working directory.
#include "host/host_path.h"

#include <cstddef>

namespace {

// The base directory without its closing separator, lower case.
constexpr char kBase[] = "c:/images";
constexpr std::size_t kBaseLen = sizeof kBase - 1;

char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

// True when p (already using '/') names the base directory or something in it.
bool in_base(const std::string& p) {
  if (p.size() < kBaseLen) return false;
  for (std::size_t i = 0; i < kBaseLen; ++i)
    if (ascii_lower(p[i]) != kBase[i]) return false;
  return p.size() == kBaseLen || p[kBaseLen] == '/';
}

}  // namespace

std::string host_path(const std::string& drive_path) {
  std::string p = drive_path;
  for (char& c : p)
    if (c == '\\') c = '/';
  if (in_base(p)) p.replace(0, kBaseLen, "images");
  return p;
}
