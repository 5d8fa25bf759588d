// The code of a point-file record: an integer of any length in fixed memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The code of a record: a signed integer of up to max_digits significant
// digits, in fixed memory. A code inside the signed 32-bit range is held as
// that integer (the common case, kept cheap); a longer one as its sign and
// its digits without leading zeros. Either way it is written in decimal,
// with a minus sign only when it is negative and not zero.
class point_code {
 public:
  static constexpr std::size_t max_digits = 4096;

  point_code(std::int32_t value = 0) : value_(value) {}
  point_code(const point_code& other) { *this = other; }
  point_code& operator=(const point_code& other);

  // Sets the code to an integer given by its sign and decimal digits
  // (leading zeros allowed). Precondition: at most max_digits digits after
  // the leading zeros.
  void assign(bool negative, const char* digits, std::size_t count);
  void assign(std::int32_t value) {
    value_ = value;
    length_ = 0;
  }

  // The room format() needs (a sign, the digits, and scratch for writing
  // a 32-bit code eight digits at a time).
  std::size_t text_room() const { return length_ + 16; }
  // Writes the code in decimal and returns the end of the text.
  // Precondition: out has room for text_room() bytes.
  char* format(char* out) const;
  std::string text() const;

  friend bool operator==(const point_code& a, const point_code& b);

 private:
  std::int32_t value_ = 0;
  std::uint16_t length_ = 0;  // 0: the code is value_; else digits_ holds it
  bool negative_ = false;
  char digits_[max_digits];
};

bool operator==(const point_code& a, const point_code& b);
inline bool operator!=(const point_code& a, const point_code& b) { return !(a == b); }
