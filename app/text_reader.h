// Buffered reading of point-file text.
//
// Whatever the host's own text handling does, the bytes are seen through two
// rules: every CR byte is removed wherever it stands (so CR LF and LF are both
// line ends, and a bare CR joins its neighbours), and the first 0x1A byte ends
// the text. The buffer has a fixed size: memory does not grow with the file.
// The same reader serves point files and the dialogue's standard input.
//
// peek() and skip() apply both rules. The raw view (pos() to limit()) is for
// scanners' fast paths: it ends before any 0x1A, but still holds the CR bytes,
// which such a scanner must treat itself (or leave the text to peek()).
#pragma once

#include <cstddef>
#include <string>

class text_reader {
 public:
  static constexpr std::size_t default_buffer_size = 1 << 17;

  // buffer_size > 0: how many bytes one read asks for.
  explicit text_reader(std::size_t buffer_size = default_buffer_size);
  ~text_reader();
  text_reader(const text_reader&) = delete;
  text_reader& operator=(const text_reader&) = delete;

  // Opens a file for reading; false with errno set when it cannot be opened.
  bool open(const std::string& host_path);
  // Reads from a descriptor that the caller keeps (standard input).
  void attach(int fd);
  // Closes an opened file (an attached descriptor is left open).
  void close();
  bool is_open() const { return fd_ >= 0; }

  // The next byte (0..255) other than CR, without consuming it, or -1 at the
  // end of the text (end of file, a 0x1A byte, or a read error: see error()).
  int peek() {
    for (; pos_ < end_; ++pos_)
      if (*pos_ != '\r') return static_cast<unsigned char>(*pos_);
    return refill_peek();
  }
  // Consumes the byte that peek() returned. Precondition: peek() != -1.
  void skip() { ++pos_; }

  // The raw view: the bytes from pos() to limit() are buffered (CR bytes
  // included), and limit()[0] is a NUL sentinel, followed by at least
  // raw_padding more readable bytes of unspecified content (so a scanner may
  // load a word at any position up to the sentinel). advance_to() may move
  // the position anywhere from pos() to limit().
  static constexpr std::size_t raw_padding = 16;
  const char* pos() const { return pos_; }
  const char* limit() const { return end_; }
  void advance_to(const char* p) { pos_ = p; }

  // The errno of a failed read, 0 when none happened.
  int error() const { return error_; }

  // Calls observer(ctx, n) after every read that brought n > 0 bytes into
  // the buffer: once per buffer, never per byte or record. nullptr stops it.
  void observe(void (*observer)(void*, std::size_t), void* ctx) {
    observer_ = observer;
    observer_ctx_ = ctx;
  }

 private:
  int refill_peek();

  std::size_t size_;
  char* buf_;
  const char* pos_;
  const char* end_;
  int fd_ = -1;
  bool owned_ = false;
  bool ended_ = false;
  int error_ = 0;
  void (*observer_)(void*, std::size_t) = nullptr;
  void* observer_ctx_ = nullptr;
};
