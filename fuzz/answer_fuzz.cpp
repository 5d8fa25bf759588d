// Fuzzes the dialogue's answer reading with arbitrary bytes as standard
// input: a count, then names, as the dialogue asks them. Checked against a
// plain reference reading of the same bytes: a byte-order mark dropped at
// the very start, CR removed, cut at the first 0x1A, split at blank, tab,
// LF, VT and FF.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "console/console.h"
#include "memory_text.h"

namespace {

bool space(char c) { return c == ' ' || (c >= '\t' && c <= '\f'); }

// The text as the dialogue must see it.
std::string visible(const std::uint8_t* data, std::size_t size) {
  std::string s;
  const bool mark = size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF;
  for (std::size_t i = mark ? 3 : 0; i < size && data[i] != 0x1A; ++i)
    if (data[i] != '\r') s += static_cast<char>(data[i]);
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static memory_text input;
  text_reader in(1 + size % 7);  // small buffers: answers across refills
  in.attach(input.load(data, size));
  const std::string text = visible(data, size);
  std::size_t pos = 0;
  while (pos < text.size() && space(text[pos])) ++pos;

  // The count: sign and digits as far as they go.
  std::int32_t count = -77;
  const int_scan r = scan_int32(in, count);
  std::size_t end = pos;
  if (end < text.size() && (text[end] == '+' || text[end] == '-')) ++end;
  const std::size_t digits_from = end;
  while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
  if (end == digits_from) {
    if (r != int_scan::no_digits || count != -77) std::abort();
  } else {
    const long long value = std::strtoll(text.substr(pos, end - pos).c_str(), nullptr, 10);
    const bool fits = value >= INT32_MIN && value <= INT32_MAX;  // strtoll saturates beyond
    if (fits != (r == int_scan::ok)) std::abort();
    if (fits && count != value) std::abort();
    if (!fits && count != -77) std::abort();
  }
  pos = end;

  // The names: every token left, in order, nothing lost or added.
  std::string token;
  while (read_token(in, token)) {
    while (pos < text.size() && space(text[pos])) ++pos;
    std::size_t stop = pos;
    while (stop < text.size() && !space(text[stop])) ++stop;
    if (token.empty() || token != text.substr(pos, stop - pos)) std::abort();
    pos = stop;
  }
  while (pos < text.size() && space(text[pos])) ++pos;
  if (pos != text.size()) std::abort();
  return 0;
}
