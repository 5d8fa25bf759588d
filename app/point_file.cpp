// Point-file records: the scanning of fields and the writing of records.
#include "point_file.h"

#include <cassert>
#include <cmath>
#include <cstring>

#include "digit_chunks.h"
#include "digit_vectors.h"
#include "io.h"
#include "scan.h"
#include "value_text.h"
#include "write_behind.h"

// The record fast paths are small functions called a few times per record:
// inlined, they share their constants and registers. The paths of rare
// fields stay out of line, so that they do not crowd the common ones.
#if defined(__GNUC__) || defined(__clang__)
#define TILVARO_INLINE inline __attribute__((always_inline))
#define TILVARO_NOINLINE __attribute__((noinline))
#define TILVARO_RARE(c) __builtin_expect(static_cast<bool>(c), 0)
#else
#define TILVARO_INLINE inline
#define TILVARO_NOINLINE
#define TILVARO_RARE(c) (c)
#endif

namespace {

// A scanning position held in locals, so the hot loops keep it in registers
// instead of reloading the reader's members after every store. The reader is
// brought up to date when the cursor goes away.
class cursor {
 public:
  explicit cursor(text_reader& in) : in_(in), p_(in.pos()), lim_(in.limit()) {}
  ~cursor() { in_.advance_to(p_); }
  cursor(const cursor&) = delete;
  cursor& operator=(const cursor&) = delete;

  // The next byte other than CR, or -1 at the end of the text.
  int peek() {
    p_ = text_reader::skip_cr(p_, lim_);
    if (p_ < lim_) return static_cast<unsigned char>(*p_);
    in_.advance_to(p_);
    const int c = in_.peek();
    p_ = in_.pos();
    lim_ = in_.limit();
    return c;
  }
  void skip() { ++p_; }

 private:
  text_reader& in_;
  const char* p_;
  const char* lim_;
};

// A bounded view of the buffered bytes for the scanners below, for the copy
// loop: CR bytes are skipped as the reader does, and the end of the
// buffered bytes reads as -1 and is remembered, since the text may go on
// after a refill (a field that reaches it is then not known in full).
class raw_cursor {
 public:
  raw_cursor(const char* p, const char* limit) : p_(p), lim_(limit) {}
  int peek() {
    while (p_ < lim_ && *p_ == '\r') ++p_;
    if (p_ < lim_) return static_cast<unsigned char>(*p_);
    at_limit_ = true;
    return -1;
  }
  void skip() { ++p_; }
  const char* pos() const { return p_; }
  bool at_limit() const { return at_limit_; }

 private:
  const char* p_;
  const char* lim_;
  bool at_limit_ = false;
};

// The scanners take a cursor or a raw_cursor.
// Reads the letters of word; true when all of them were there.
template <class Source>
bool scan_word(Source& in, const char* word) {
  for (; *word; ++word) {
    if (in.peek() != *word) return false;
    in.skip();
  }
  return true;
}

// A code: an optional sign and decimal digits, as many as there are. The
// significant digits are gathered in a local buffer, so a code too long to
// hold leaves the destination as it was (its digits are still consumed).
template <class Source>
bool scan_code(Source& in, point_code& code) {
  int c;
  bool signed_explicitly;
  const bool negative = skip_space_and_sign(in, c, signed_explicitly);
  if (!is_digit(c)) return false;
  for (; c == '0'; in.skip(), c = in.peek()) continue;
  char digits[point_code::max_digits];
  std::size_t count = 0;
  bool too_long = false;
  for (; is_digit(c); in.skip(), c = in.peek()) {
    if (count < sizeof digits) {
      digits[count++] = static_cast<char>(c);
    } else {
      too_long = true;
    }
  }
  if (too_long) return false;
  code.assign(negative, digits, count);
  return true;
}

// A value: optional sign, digits with at most one point, optional exponent;
// or +INF, -INF, +NAN, -NAN.
//
// Preconditions kept while scanning:
//  - digits holds the first at most 19 significant digits (< 10^19 fits 64
//    bits); later digits only move the decimal exponent;
//  - the value read so far is digits * 10^scale.
template <class Source>
bool scan_value(Source& in, double& value) {
  int c;
  bool signed_explicitly;
  const bool negative = skip_space_and_sign(in, c, signed_explicitly);
  if (signed_explicitly) {
    // Step 0: the words, only directly after an explicit sign.
    if (c == 'I' || c == 'N') {
      if (!scan_word(in, c == 'I' ? "INF" : "NAN")) return false;
      const double magnitude = c == 'I' ? HUGE_VAL : std::nan("");
      value = negative ? -magnitude : magnitude;
      return true;
    }
  }

  // Step 1: integer digits. Leading zeros are not significant.
  std::uint64_t digits = 0;
  int significant = 0;
  std::int64_t scale = 0;
  bool any_digit = false;
  for (; is_digit(c); in.skip(), c = in.peek()) {
    any_digit = true;
    if (significant < 19) {
      digits = digits * 10 + static_cast<unsigned>(c - '0');
      significant += digits != 0;
    } else {
      ++scale;
    }
  }

  // Step 2: fraction digits; each one kept moves the scale down.
  if (c == '.') {
    in.skip();
    c = in.peek();
    for (; is_digit(c); in.skip(), c = in.peek()) {
      any_digit = true;
      if (significant < 19) {
        digits = digits * 10 + static_cast<unsigned>(c - '0');
        significant += digits != 0;
        --scale;
      }
    }
  }
  if (!any_digit) return false;

  // Step 3: the exponent. An e without digits counts as exponent 0; a huge
  // exponent saturates, far beyond any double's range either way.
  if (c == 'e' || c == 'E') {
    in.skip();
    c = in.peek();
    bool exp_negative = false;
    if (c == '+' || c == '-') {
      exp_negative = c == '-';
      in.skip();
      c = in.peek();
    }
    std::int64_t exponent = 0;
    for (; is_digit(c); in.skip(), c = in.peek()) {
      if (exponent < 100000000) exponent = exponent * 10 + (c - '0');
    }
    scale += exp_negative ? -exponent : exponent;
  }

  value = decimal_to_double(digits, scale, negative);
  return true;
}

// Fast path: a whole record of plain fields within the buffered bytes.
//
// It takes only the common shape: each field an optional sign and at most
// 19 digits (a value with at most one point and an exponent of at most 7
// digits, no word), ended by white space, or by CR bytes and then white
// space. Anything else, and any
// field that runs up to the end of the buffered bytes, makes it give up
// without storing anything; the general scanner then reads the record from
// the same place, so both give the same result whenever the fast one answers.
// CR bytes before a field are skipped like white space: removing them there
// changes nothing.

inline const char* skip_space_cr(const char* p) {
  while (is_space(*p) || *p == '\r') ++p;
  return p;
}

// A field that stopped at p ends there when p, past any CRs, is white space.
// The NUL sentinel at the end of the buffered bytes is not.
inline bool field_ends(const char* p) {
  if (p[0] == '\r' && p[1] == '\n') return true;  // the usual line end
  while (*p == '\r') ++p;
  return is_space(*p);
}

// Appends the run of digits at p to digits (which wraps when the run is
// longer than 19 digits: the callers give up on such runs) and returns the
// end of the run. Reads words up to the sentinel, which the padding allows.
inline const char* take_digits(const char* p, std::uint64_t& digits) {
  for (;;) {
    const std::uint64_t w = load8(p);
    const int n = digit_run(w);
    if (n == 0) return p;
    digits = digits * integer_powers_of_ten[n] + digits_value(w, n);
    p += n;
    if (n < 8) return p;
  }
}

// The LF ending the line at p, when it stands within 48 bytes and before
// limit; else nullptr.
inline const char* line_end(const char* p, const char* limit) {
  const std::size_t room = static_cast<std::size_t>(limit - p);
  return static_cast<const char*>(std::memchr(p, '\n', room < 48 ? room : 48));
}

// Skips white space, CR and a sign; returns whether the sign was '-'.
inline bool skip_to_digits(const char*& p) {
  p = skip_space_cr(p);
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  return negative;
}

TILVARO_INLINE const char* fast_code(const char* p, std::int32_t& code) {
  const bool negative = skip_to_digits(p);
  const char* first = p;
  std::uint64_t n = 0;
  p = take_digits(p, n);
  if (p == first || p - first > 10 || n > 2147483647u + (negative ? 1u : 0u) || !field_ends(p)) return nullptr;
  code = static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(n) : static_cast<std::int64_t>(n));
  return p;
}

// A value read by the fast path: (negative ? -1 : 1) * digits * 10^exp10,
// with digits < 10^19.
struct decimal {
  std::uint64_t digits;
  std::int64_t exp10;
  bool negative;
};

// Appends at most room digits of the run at p to digits, one word at a
// time, and returns the end of the whole run; taken gets how many were
// appended.
inline const char* take_some_digits(const char* p, std::uint64_t& digits, int room, int& taken) {
  taken = 0;
  for (;;) {
    const std::uint64_t w = load8(p);
    const int n = digit_run(w);
    const int k = n < room - taken ? n : room - taken;
    if (k > 0) digits = digits * integer_powers_of_ten[k] + digits_value(w, k);
    taken += k;
    p += n;
    if (n < 8) return p;
  }
}

const char* decimal_without_cr(const char* p, decimal& value);

// fast_decimal for the values it leaves to this: more than 19 digits
// (leading zeros included), or an exponent of 8 digits or more. The same
// syntax and the same decimal as scan_value's: leading zeros are not
// significant, the first 19 significant digits are kept, later integer
// digits scale the value up and later decimals are dropped; the exponent is
// that of its first nine significant digits (further ones do not change
// what a double can hold). nullptr where fast_decimal gives up too.

TILVARO_NOINLINE
const char* long_decimal(const char* p, decimal& value) {
  const char* const field = p;
  const bool negative = skip_to_digits(p);
  const char* const start = p;
  while (*p == '0') ++p;
  bool any_digit = p != start;
  std::uint64_t digits = 0;
  int taken;
  const char* run = p;
  p = take_some_digits(p, digits, 19, taken);
  int significant = taken;
  std::int64_t scale = (p - run) - taken;
  any_digit = any_digit || p != run;
  if (*p == '.') {
    ++p;
    if (significant == 0) {
      const char* zeros = p;
      while (*p == '0') ++p;
      scale -= p - zeros;
      any_digit = any_digit || p != zeros;
    }
    run = p;
    p = take_some_digits(p, digits, 19 - significant, taken);
    scale -= taken;
    any_digit = any_digit || p != run;
  }
  if (!any_digit) return nullptr;
  if ((*p | 0x20) == 'e') {  // an e without digits is exponent 0
    ++p;
    const bool exp_negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    while (*p == '0') ++p;
    std::uint64_t exponent = 0;
    p = take_some_digits(p, exponent, 9, taken);
    scale += exp_negative ? -static_cast<std::int64_t>(exponent) : static_cast<std::int64_t>(exponent);
  }
  if (*p == '\r' && !field_ends(p)) return decimal_without_cr(field, value);
  if (!field_ends(p)) return nullptr;
  value = {digits, scale, negative};
  return p;
}

// A value with CR bytes inside (a bare CR joins what stands on both sides
// of it): the value of its text without them, taken from a copy, when the
// field is at most 64 bytes besides its CRs. Returns the end of the field
// in the buffered text, or nullptr where long_decimal gives up.
const char* decimal_without_cr(const char* p, decimal& value) {
  p = skip_space_cr(p);
  char text[64 + 1 + 16];
  std::size_t n = 0;
  for (; !is_space(*p) && *p != '\0'; ++p) {
    if (*p == '\r') continue;
    if (n == 64) return nullptr;
    text[n++] = *p;
  }
  if (*p == '\0') return nullptr;  // the end of the buffered bytes, or a NUL byte
  std::memset(text + n, ' ', sizeof text - n);
  return long_decimal(text, value) == text + n ? p : nullptr;
}

TILVARO_INLINE const char* fast_decimal(const char* p, decimal& value) {
  const char* const field = p;
  const bool negative = skip_to_digits(p);
  const char* first = p;
  std::uint64_t digits = 0;
  p = take_digits(p, digits);
  std::ptrdiff_t count = p - first;  // digits, leading zeros included
  std::int64_t scale = 0;
  if (*p == '.') {
    const char* fraction = ++p;
    p = take_digits(p, digits);
    scale = fraction - p;
    count -= scale;
  }
  if ((*p | 0x20) == 'e') {  // an exponent of at most 7 digits (none: 0)
    ++p;
    const bool exp_negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    const std::uint64_t w = load8(p);
    const int n = digit_run(w);
    if (n == 8) return long_decimal(field, value);
    const std::int64_t exponent = n == 0 ? 0 : digits_value(w, n);
    scale += exp_negative ? -exponent : exponent;
    p += n;
  }
  if (count > 19) return long_decimal(field, value);
  if (*p == '\r' && !field_ends(p)) return decimal_without_cr(field, value);
  if (count <= 0 || !field_ends(p)) return nullptr;
  value = {digits, scale, negative};
  return p;
}

TILVARO_INLINE const char* fast_value(const char* p, double& value) {
  decimal d;
  p = fast_decimal(p, d);
  if (p != nullptr) value = decimal_to_double(d.digits, d.exp10, d.negative);
  return p;
}

// The record fast path (the copy engine's recognisers), then the general
// scanner.
TILVARO_NOINLINE
int read_record_rest(text_reader& reader, point_code& code, double& first, double& second) {
  std::int32_t c;
  double a, b;
  const char* p = fast_code(reader.pos(), c);
  if (p && (p = fast_value(p, a)) && (p = fast_value(p, b))) {
    code.assign(c);
    first = a;
    second = b;
    reader.advance_to(p);
    return 3;
  }

  cursor in(reader);
  if (!scan_code(in, code)) return 0;
  if (!scan_value(in, first)) return 1;
  if (!scan_value(in, second)) return 2;
  return 3;
}

}  // namespace

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

int read_record(text_reader& reader, point_code& code, double& first, double& second) {
  return read_record_rest(reader, code, first, second);
}

point_writer::point_writer() : own_(new char[buffer_size]), buf_(own_), cur_(buf_), end_(buf_ + buffer_size) {
  static_assert(buffer_size <= write_behind::buffer_size, "any reservation fits either buffer");
}

point_writer::~point_writer() { delete[] own_; }

void point_writer::attach(int fd, write_behind* behind) {
  fd_ = fd;
  error_ = 0;
  behind_ = behind;
  buf_ = behind_ ? behind_->buffer() : own_;
  cur_ = buf_;
  end_ = buf_ + (behind_ ? write_behind::buffer_size : buffer_size);
}

// Writes the buffer out (or hands it over), resuming after partial writes
// and interruptions. After the first failure nothing more is written and the
// bytes are dropped, so a full disk cannot make the buffer grow.
void point_writer::drain(bool last) {
  const auto n = static_cast<std::size_t>(cur_ - buf_);
  if (error_ == 0 && n > 0) {
    if (behind_) {
      buf_ = behind_->hand_over(buf_, n, last);
      end_ = buf_ + write_behind::buffer_size;
      error_ = behind_->error();
    } else {
      error_ = io_write_all(fd_, buf_, n);
    }
  }
  cur_ = buf_;
}

bool point_writer::flush() {
  drain(true);
  return error_ == 0;
}

namespace {

// The length of a code at p that is written as it stands, ended as a
// field, or 0. The form: an optional '-', 1 to 15 digits, no leading zero,
// not "-0": a code is written as the integer it is, so such a text is its
// own written form, whatever its length.
inline std::size_t plain_code(const char* p) {
  const std::size_t sign = *p == '-';
  const char* q = p + sign;
  int n = digit_run(load8(q));
  if (n == 8) n += digit_run(load8(q + 8));
  if (n == 0 || n > 15 || (q[0] == '0' && (n > 1 || sign))) return 0;
  return field_ends(q + n) ? sign + static_cast<std::size_t>(n) : 0;
}

// The length of a value at p whose six-decimal form is its own text padded
// with zeros, ended as a field, or 0; decimals gets the number of digits
// after its point (-1 when it has none). The form: an optional '-', 1 to 7
// integer digits without a leading zero (a lone 0 allowed), optionally a
// point and 0 to 6 decimals, and not a negative zero.
// Such a text s has |s| < 10^7, so the double nearest to it is within
// |s| * 2^-53 < 1.2e-9 of it, far inside the half unit (5e-7) that would
// let the six-decimal rounding come out as anything but s again.
inline std::size_t plain_value(const char* p, int& decimals) {
  const std::size_t sign = *p == '-';
  const char* q = p + sign;
  const int n = digit_run(load8(q));
  if (n == 0 || n == 8 || (q[0] == '0' && n > 1)) return 0;
  const char* end = q + n;
  int d = -1;
  if (*end == '.') {
    d = digit_run(load8(end + 1));
    if (d > 6) return 0;
    end += 1 + d;
  }
  if (!field_ends(end)) return 0;
  if (sign && q[0] == '0' && n == 1) {  // -0, -0., -0.000: zero unless a decimal is not
    bool zero = true;
    for (int i = 0; i < d; ++i) zero = zero && q[2 + i] == '0';
    if (zero) return 0;
  }
  decimals = d;
  return static_cast<std::size_t>(end - p);
}

// The canonical record, code TAB x TAB y CR LF exactly as write_record
// writes it, is copied as it stands in one piece. These return the end of
// such a field at p (where sep must stand), or nullptr.
// A code: an optional '-', 1 to 7 digits, no leading zero, not "-0".
inline const char* canonical_code(const char* p) {
  const bool negative = *p == '-';
  const char* q = p + negative;
  const int n = digit_run(load8(q));
  if (n == 0 || n == 8 || q[n] != '\t' || (q[0] == '0' && (n > 1 || negative))) return nullptr;
  return q + n;
}

// A value: an optional '-', 1 to 7 integer digits without a leading zero (a
// lone 0 allowed, but not after '-', which could be a negative zero), a
// point and exactly six decimals: a plain_value text with six decimals.
inline const char* canonical_value(const char* p, char sep) {
  const bool negative = *p == '-';
  const char* q = p + negative;
  const int n = digit_run(load8(q));
  if (n == 0 || n == 8 || q[n] != '.' || digit_run(load8(q + n + 1)) != 6 || q[n + 7] != sep) return nullptr;
  if (q[0] == '0' && (n > 1 || negative)) return nullptr;
  return q + n + 7;
}

// Copies a field of len <= 16 bytes: always 16 bytes, then moves on by len.
// The source may read past the field (the reader's padding allows 16 bytes
// from any position before its end); the destination bytes after the field
// are scratch that the next piece overwrites.
inline char* put_field(char* out, const char* field, std::size_t len) {
  std::memcpy(out, field, 16);
  return out + len;
}

// Copies a plain_value text and pads it to six decimals: at most 23 bytes
// are stored, 15 of them kept.
inline char* put_value(char* out, const char* field, std::size_t len, int decimals) {
  out = put_field(out, field, len);
  if (decimals < 0) {
    *out++ = '.';
    decimals = 0;
  }
  std::memcpy(out, "00000000", 8);
  return out + (6 - decimals);
}

}  // namespace

namespace {

// The room write_record's text of a record with this code needs.
std::size_t record_room(const point_code& code) { return code.text_room() + 1 + value_text_max + 1 + value_text_max + 2; }

// write_record's text at p; returns its end.
char* put_record(char* p, const point_code& code, double first, double second) {
  p = code.format(p);
  *p++ = '\t';
  p = format_value(p, first);
  *p++ = '\t';
  p = format_value(p, second);
  *p++ = '\r';
  *p++ = '\n';
  return p;
}

}  // namespace

void write_record(point_writer& out, const point_code& code, double first, double second) {
  out.commit_to(put_record(out.reserve(record_room(code)), code, first, second));
}

namespace {

// One value of the copy step: a plain value is copied as text; another one
// that the record fast path reads is written from its decimal digits
// (format_decimal) or, when they cannot tell, from its double. False when
// neither path takes it. formatted counts the values not copied as text.
TILVARO_INLINE bool copy_value(const char*& p, char*& o, std::size_t& formatted) {
  p = skip_space_cr(p);
  int decimals;
  if (const std::size_t n = plain_value(p, decimals)) {
    o = put_value(o, p, n, decimals);
    p += n;
    return true;
  }
  decimal d;
  p = fast_decimal(p, d);
  if (p == nullptr) return false;
  ++formatted;
  if (char* end = format_decimal(o, d.digits, d.exp10, d.negative)) {
    o = end;
  } else {
    o = format_value(o, decimal_to_double(d.digits, d.exp10, d.negative));
  }
  return true;
}

// The records the fast paths leave, within the buffered bytes [p, limit):
// read by read_record's general scanner and written as write_record writes
// them, at out, whose room ends at out_end. Returns the end of the record
// and moves out past its text, or nullptr when the record is not complete
// or reaches limit (read_record then reads it, refilling the buffer), or
// its text does not fit. Out of line: rare records.
TILVARO_NOINLINE
const char* copy_general_raw(const char* p, const char* limit, char*& out, const char* out_end) {
  raw_cursor in(p, limit);
  point_code code;
  double a, b;
  if (!scan_code(in, code) || !scan_value(in, a) || !scan_value(in, b) || in.at_limit()) return nullptr;
  if (static_cast<std::size_t>(out_end - out) < record_room(code)) return nullptr;
  out = put_record(out, code, a, b);
  return in.pos();
}

int copy_general(text_reader& in, point_writer& out) {
  point_code c;
  double a, b;
  const int fields = read_record(in, c, a, b);
  if (fields == 3) write_record(out, c, a, b);
  return fields;
}

// The fast paths of copy_record: the record at p (after white space)
// written at o. Returns the end of its last field, o moved past its text;
// or nullptr, o then holding scratch, when a field is not one that these
// paths take. formatted counts the fields not copied as text. Precondition:
// o has room for copy_room bytes.
static_assert(copy_room >= 16 + 1 + value_text_max + 1 + value_text_max + 2, "a record's text and scratch");

TILVARO_INLINE const char* copy_fields(const char* p, const char* limit, char*& out, std::size_t& formatted) {
  char* o = out;
  // The canonical record: 21 to 42 bytes, copied as 32 bytes from its start
  // and 16 up to its end (both within the reader's padding, as the record
  // is at least 21 bytes and ends before the sentinel). Its end is taken
  // from a search for the LF, which the fields' scan must then meet: the
  // next record's start (the reader's position) and the output's end then
  // wait only for that short search, not for the scan of every field, so
  // the scans of successive records overlap. The search starts once the
  // code and x are in that form: other forms do not pay it.
  const char* e = canonical_code(p);
  if (e != nullptr && (e = canonical_value(e + 1, '\t')) != nullptr) {
    const char* lf = line_end(p, limit);
    if (lf != nullptr && canonical_value(e + 1, '\r') == lf - 1) {
      const std::size_t len = static_cast<std::size_t>(lf + 1 - p);
      assert(len >= 21 && len <= 42);
      std::memcpy(o, p, 32);
      std::memcpy(o + len - 16, p + len - 16, 16);
      out = o + len;
      return lf - 1;
    }
  }

  if (const std::size_t n = plain_code(p)) {
    o = put_field(o, p, n);
    p += n;
  } else {
    std::int32_t c;
    p = fast_code(p, c);
    if (p == nullptr) return nullptr;
    ++formatted;
    o = format_code(o, c);
  }
  *o++ = '\t';
  if (!copy_value(p, o, formatted)) return nullptr;
  *o++ = '\t';
  if (!copy_value(p, o, formatted)) return nullptr;
  *o++ = '\r';
  *o++ = '\n';
  out = o;
  return p;
}

}  // namespace

int copy_record(text_reader& in, point_writer& out) {
  char* o = out.reserve(copy_room);
  std::size_t formatted = 0;
  if (const char* end = copy_fields(skip_space_cr(in.pos()), in.limit(), o, formatted)) {
    out.commit_to(o);
    in.advance_to(end);
    return 3;
  }
  return copy_general(in, out);
}

record_run copy_run(const char* p, const char* limit, const char* stop, char* out, char* out_last) {
  // The positions stay in locals from record to record, and the next
  // record's start waits only for this one's end.
  const char* const first = skip_space_cr(p);
  record_run run{first, first, nullptr, out, 0, 0, false};
  while (run.out <= out_last && run.next < stop) {
    const char* end = copy_fields(run.next, limit, run.out, run.formatted);
    if (end == nullptr) {
      // Any other record is read here too, in the general way: the run
      // stops only at one that is not complete within the buffered bytes.
      end = copy_general_raw(run.next, limit, run.out, out_last + copy_room);
      if (end == nullptr) {
        run.blocked = true;
        break;
      }
      run.formatted += 3;
    }
    run.last = end;
    run.next = skip_space_cr(end);
    ++run.count;
  }
  return run;
}

record_run copy_records(text_reader& in, point_writer& out, const char* stop) {
  if (stop == nullptr) stop = in.limit() + 1;  // past any record start
  record_run all{};
  const char* p = in.pos();
  for (;;) {
    char* const o = out.reserve(copy_room);
    const record_run run = copy_run(p, in.limit(), stop, o, out.reserved_end() - copy_room);
    out.commit_to(run.out);
    if (all.first == nullptr) all.first = run.first;
    if (run.last != nullptr) all.last = run.last;
    all.count += run.count;
    all.formatted += run.formatted;
    p = all.next = run.next;
    if (run.blocked || p >= stop) {
      all.blocked = run.blocked;
      all.out = run.out;
      break;
    }
  }
  if (all.last != nullptr) in.advance_to(all.last);
  return all;
}
