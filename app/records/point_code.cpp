// The code of a point-file record.
#include "records/point_code.h"

#include <cassert>
#include <cstring>

#include "records/value_text.h"

point_code& point_code::operator=(const point_code& other) {
  if (this != &other) {
    value_ = other.value_;
    length_ = other.length_;
    negative_ = other.negative_;
    std::memcpy(digits_, other.digits_, length_);
  }
  return *this;
}

void point_code::assign(bool negative, const char* digits, std::size_t count) {
  for (; count > 0 && *digits == '0'; ++digits, --count) continue;
  assert(count <= max_digits);
  if (count <= 10) {
    std::uint64_t n = 0;
    for (std::size_t i = 0; i < count; ++i) n = n * 10 + static_cast<unsigned>(digits[i] - '0');
    if (n <= 2147483647u + (negative ? 1u : 0u)) {
      assign(static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(n) : static_cast<std::int64_t>(n)));
      return;
    }
  }
  negative_ = negative;
  length_ = static_cast<std::uint16_t>(count);
  std::memcpy(digits_, digits, count);
}

char* point_code::format(char* out) const {
  if (length_ == 0) return format_code(out, value_);
  if (negative_) *out++ = '-';
  std::memcpy(out, digits_, length_);
  return out + length_;
}

std::string point_code::text() const {
  std::string s(text_room(), '\0');
  s.resize(static_cast<std::size_t>(format(&s[0]) - s.data()));
  return s;
}

bool operator==(const point_code& a, const point_code& b) {
  if (a.length_ != b.length_) return false;
  if (a.length_ == 0) return a.value_ == b.value_;
  return a.negative_ == b.negative_ && std::memcmp(a.digits_, b.digits_, a.length_) == 0;
}

