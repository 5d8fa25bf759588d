// Point-file records: reading with read_record, writing with write_record.
//
// A record is a code (an integer of any length) and two values (doubles).
// The first three records of a file are its header (x, y and z extent).
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <string>

#include "text_reader.h"

class write_behind;

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

// Reads one record: white space (blank, tab, LF, VT, FF) is skipped before
// each field, then the code, the first value and the second value are read
// in that order. Each field is stored as soon as it is read; a field that
// cannot be read ends the call and leaves its own destination and the later
// ones untouched. Returns the number of fields stored, 0 to 3: the record is
// complete only when 3 is returned.
//
// Syntax: a code is an optional sign and decimal digits; one of more than
// point_code::max_digits significant digits is not a code (its digits are
// consumed). A value is an optional sign, digits with at most one decimal
// point, an optional exponent (e or E, optional sign, digits; an e with no
// digits is exponent 0), or +INF, -INF, +NAN, -NAN. The first character that cannot continue a field stays unread.
int read_record(text_reader& in, point_code& code, double& first, double& second);

// A buffered writer over a file descriptor, with fixed memory.
// Write errors are remembered (the first errno) and every later write is
// dropped; the caller checks error() after flush().
class point_writer {
 public:
  static constexpr std::size_t buffer_size = 1 << 18;  // when writing directly

  point_writer();
  ~point_writer();
  point_writer(const point_writer&) = delete;
  point_writer& operator=(const point_writer&) = delete;

  // Writes into fd, which the caller keeps. With behind, the filled buffers
  // are handed to it instead, to be written and synced on its threads; the
  // caller has pointed it at fd (write_behind::follow) and stops it, and
  // its errors count as write errors.
  void attach(int fd, write_behind* behind = nullptr);
  // Writes the buffered bytes out (or hands them over: then the writing
  // may still go on); false when any write so far failed.
  bool flush();
  int error() const { return error_; }

  // Returns a place with room for at least n bytes; the bytes written there
  // count once commit_to() is given their end. Precondition: n <= buffer_size.
  char* reserve(std::size_t n) {
    assert(n <= buffer_size);
    if (static_cast<std::size_t>(end_ - cur_) < n) drain(false);
    return cur_;
  }
  void commit_to(char* p) { cur_ = p; }
  // The end of the room that the last reserve() returned.
  char* reserved_end() const { return end_; }

 private:
  void drain(bool last);

  char* own_;  // the buffer when writing directly
  char* buf_;  // the buffer being filled
  char* cur_;
  char* end_;
  int fd_ = -1;
  int error_ = 0;
  write_behind* behind_ = nullptr;
};

// Writes code TAB first TAB second CR LF, the values in the six-decimal
// form of format_value (value_text.h).
void write_record(point_writer& out, const point_code& code, double first, double second);

// Reads one record from in and, when it is complete, writes it to out:
// exactly what read_record followed by write_record would do, with the same
// result and the same bytes written (copy_records takes the same paths over
// many records). A plain
// field (a code of at most 15 digits, a value of at most 7 integer digits
// and at most 6 decimals; no '+', no exponent, no leading zero, no negative
// zero) is copied as text, a value padded to six decimals, since formatting
// the value read from such a text gives that text back; the other fields of
// the record are formatted from what they are read as. A record already in
// the written form (such fields with six decimals, TAB, TAB, CR LF) is
// copied whole.
int copy_record(text_reader& in, point_writer& out);

// The room the copy of one record needs in its output: a code of 16 bytes,
// each value's text and scratch, the separators.
constexpr std::size_t copy_room = 150;

// What a run of the copy loop copied, and where it stopped.
struct record_run {
  const char* first;  // where the first record starts (white space skipped)
  const char* next;   // where the record after those copied starts
  const char* last;   // the end of the last record copied, nullptr if none
  char* out;          // the end of their text
  std::size_t count;
  std::size_t formatted;  // fields written from what they read as, not copied as text
  bool blocked;           // the record at next is not one these paths take
};

// Copies records from in to out exactly as repeated copy_record calls would,
// as long as each lies within the buffered text and its fields are ones
// that copy_record copies as text or from their digits. Stops before the
// first record that is not (blocked), without consuming any of it
// (copy_record then reads it, refilling the buffer as needed), and before
// the first record that starts at stop or later (a place in the buffered
// text). The merge's copy loop runs here, without a call per record.
record_run copy_records(text_reader& in, point_writer& out, const char* stop = nullptr);

// The same on bare bytes, for another thread that copies a later part of a
// buffered text: [p, limit) is text as the reader's raw view holds it
// (limit[0] a NUL sentinel, padding after it). Copies to out while a
// record's copy_room fits at or before out_last.
record_run copy_run(const char* p, const char* limit, const char* stop, char* out, char* out_last);
