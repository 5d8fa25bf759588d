// The names of a result's temporaries.
#include "host/temp_name.h"

#include <atomic>
#include <chrono>

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

std::string temp_name_suffix(unsigned long pid) {
  static std::atomic<unsigned long long> counter{0};
  const auto now = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  unsigned long long x = now ^ (static_cast<unsigned long long>(pid) << 40) ^ (++counter * 0x9E3779B97F4A7C15ull);
  const char digits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string s;
  for (std::size_t i = 0; i < kTempSuffixLength; ++i) {
    s += digits[x % 36];
    x /= 36;
  }
  return s;
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
