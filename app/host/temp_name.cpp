// The names of a result's temporaries.
#include "temp_name.h"

namespace {

constexpr std::size_t kMaxStem = 200;
constexpr unsigned long long kMaxPid = 4294967295ull;

// The result's name as it stands in its temporaries' names.
std::string stem(const std::string& result_name) {
  if (result_name.size() <= kMaxStem) return result_name;
  std::size_t cut = kMaxStem;
  // Not inside a UTF-8 character: back over its continuation bytes.
  while (cut > 0 && (static_cast<unsigned char>(result_name[cut]) & 0xC0) == 0x80) --cut;
  return result_name.substr(0, cut);
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool is_alnum(char c) { return is_digit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

}  // namespace

std::string temp_name_stem(const std::string& result_name) { return "." + stem(result_name) + "."; }

std::string temp_name_prefix(const std::string& result_name, unsigned long pid) {
  return temp_name_stem(result_name) + std::to_string(pid) + ".";
}

bool temp_name_owner(const std::string& entry, const std::string& result_name, unsigned long long& pid) {
  const std::string head = temp_name_stem(result_name);
  if (entry.compare(0, head.size(), head) != 0) return false;
  std::size_t at = head.size();
  if (at >= entry.size() || entry[at] == '0') return false;
  unsigned long long value = 0;
  const std::size_t digits_start = at;
  for (; at < entry.size() && is_digit(entry[at]); ++at) {
    if (at - digits_start >= 10) return false;
    value = value * 10 + static_cast<unsigned long long>(entry[at] - '0');
  }
  if (at == digits_start || value > kMaxPid) return false;
  if (entry.size() != at + 1 + kTempSuffixLength || entry[at] != '.') return false;
  for (std::size_t i = at + 1; i < entry.size(); ++i)
    if (!is_alnum(entry[i])) return false;
  pid = value;
  return true;
}
