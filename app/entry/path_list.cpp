// Lists of paths: UTF-8 or UTF-16 text, one path a line.
#include "entry/path_list.h"

#include <cstring>
#include <memory>

#include "console/diagnostic.h"
#include "console/utf8.h"
#include "host/host_names.h"
#include "host/io.h"

namespace {

// The bytes of a descriptor, read a buffer at a time.
class byte_source {
 public:
  explicit byte_source(int fd) : fd_(fd), buf_(new char[size]) {}
  // The next byte (0..255), or -1 at the end or after a failed read (failed()).
  int next() {
    if (back_ < again_.size()) return static_cast<unsigned char>(again_[back_++]);
    if (pos_ == len_) {
      if (ended_) return -1;
      std::size_t got = 0;
      failed_ = io_read(fd_, buf_.get(), size, got);
      pos_ = 0;
      len_ = got;
      if (failed_ || got == 0) {
        ended_ = true;
        len_ = 0;
        return -1;
      }
    }
    return static_cast<unsigned char>(buf_[pos_++]);
  }
  const failure& failed() const { return failed_; }
  // Bytes taken by next() that it gives again, first.
  void again(const std::string& bytes) {
    again_ = bytes;
    back_ = 0;
  }

 private:
  static constexpr std::size_t size = 1 << 16;
  std::string again_;
  std::size_t back_ = 0;
  int fd_;
  std::unique_ptr<char[]> buf_;
  std::size_t pos_ = 0, len_ = 0;
  bool ended_ = false;
  failure failed_;
};

// The lines of the list, made into paths.
class list_lines {
 public:
  // bytes: the text comes as UTF-8 bytes to be checked, not as code points.
  list_lines(const std::string& shown, bool bytes, std::vector<image>& inputs)
      : shown_(shown), bytes_(bytes), inputs_(inputs), longest_(longest_path_bytes()) {}

  // Takes one character of the text (a byte of UTF-8, or a code point);
  // false when the list is refused (said).
  bool take(char32_t c) {
    if (c == '\r') return true;
    if (c == '\n') return end_line();
    if (bytes_) {
      line_ += static_cast<char>(c);
    } else {
      append_utf8(line_, c);
    }
    if (line_.size() <= longest_) return true;
    return refuse("is longer than any path");
  }
  // Ends the last line, which may have no line end.
  bool finish() { return end_line(); }
  // The text is not UTF-16 at the current line.
  bool broken() { return refuse("is not UTF-16 text"); }

 private:
  bool end_line() {
    if (bytes_ && !is_utf8(line_)) return refuse("is not UTF-8 text (save it as UTF-8 or UTF-16)");
    if (line_.size() >= 2 && line_.front() == '"' && line_.back() == '"') line_ = line_.substr(1, line_.size() - 2);
    if (!line_.empty()) inputs_.push_back(image{line_, -1});
    line_.clear();
    ++number_;
    return true;
  }
  bool refuse(const std::string& why) {
    complain(shown_, "line " + std::to_string(number_) + " " + why);
    return false;
  }

  const std::string& shown_;
  const bool bytes_;
  std::vector<image>& inputs_;
  const std::size_t longest_;
  std::string line_;
  unsigned long long number_ = 1;  // of the line being read
};

// Reads UTF-16 code units of two bytes into lines; false when refused.
bool read_utf16(byte_source& in, bool little, list_lines& lines) {
  const auto unit = [&](bool& odd) -> long {
    const int a = in.next();
    if (a < 0) return -1;
    const int b = in.next();
    if (b < 0) {
      odd = true;
      return -1;
    }
    return little ? (b << 8 | a) : (a << 8 | b);
  };
  bool odd = false;
  for (long u = unit(odd); u >= 0 && u != 0x1A; u = unit(odd)) {
    char32_t c = static_cast<char32_t>(u);
    if (u >= 0xDC00 && u <= 0xDFFF) return lines.broken();
    if (u >= 0xD800 && u <= 0xDBFF) {
      const long low = unit(odd);
      if (low < 0xDC00 || low > 0xDFFF) return lines.broken();
      c = 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (static_cast<char32_t>(low) - 0xDC00);
    }
    if (!lines.take(c)) return false;
  }
  return odd ? lines.broken() : lines.finish();
}

// Reads bytes of UTF-8 into lines; false when refused.
bool read_utf8(byte_source& in, list_lines& lines) {
  for (int b = in.next(); b >= 0 && b != 0x1A; b = in.next())
    if (!lines.take(static_cast<char32_t>(b))) return false;
  return lines.finish();
}

}  // namespace

int read_path_list(const std::string& list, std::vector<image>& inputs) {
  int fd = io_stdin;
  if (list != "-") {
    if (const failure f = io_open_read(list, fd)) {
      complain(list, f.reason());
      return 1;
    }
  }
  const std::string shown = list == "-" ? "standard input" : list;
  byte_source in(fd);
  // The byte-order mark, if any, in the first three bytes.
  std::string start;
  for (int b; start.size() < 3 && (b = in.next()) >= 0;) start += static_cast<char>(b);
  const bool le = start.compare(0, 2, "\xFF\xFE") == 0, be = start.compare(0, 2, "\xFE\xFF") == 0;
  const bool utf8_mark = start.compare(0, 3, "\xEF\xBB\xBF") == 0;
  in.again(start.substr(le || be ? 2 : utf8_mark ? 3 : 0));
  list_lines lines(shown, !le && !be, inputs);
  const bool read = le || be ? read_utf16(in, le, lines) : read_utf8(in, lines);
  if (list != "-") io_close(fd);
  if (!read) return 2;
  if (const failure f = in.failed()) {
    complain(shown, f.reason());
    return 1;
  }
  return 0;
}
