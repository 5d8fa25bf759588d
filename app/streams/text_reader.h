// Buffered reading of point-file text.
//
// Whatever the host's own text handling does, the bytes are seen through two
// rules: every CR byte is removed wherever it stands (so CR LF and LF are both
// line ends, and a bare CR joins its neighbours), and the first 0x1A byte ends
// the text. The buffer has a fixed size: memory does not grow with the file.
// The same reader serves point files and the dialogue's standard input.
// A UTF-8 byte-order mark (EF BB BF), which Windows editors put first, is
// skipped at the very start of the text (of the file, or of the descriptor
// from where it stood when attached), and nowhere else.
//
// peek() and skip() apply both rules. The raw view (pos() to limit()) is for
// scanners' fast paths: it ends before any 0x1A, but still holds the CR bytes,
// which such a scanner must treat itself (or leave the text to peek()).
#pragma once

#include <cassert>
#include <cstddef>
#include <memory>
#include <string>
#include <utility>

#include "host/failure.h"
#include "streams/read_ahead.h"
#include "streams/text_marks.h"

class text_reader {
 public:
  static constexpr std::size_t default_buffer_size = 1 << 17;

  // How many bytes one read asks for; buffer_size > 0.
  explicit text_reader(std::size_t buffer_size = default_buffer_size);
  ~text_reader();
  text_reader(const text_reader&) = delete;
  text_reader& operator=(const text_reader&) = delete;

  // Opens a file for reading.
  failure open(const std::string& host_path);
  // Reads from a descriptor that the caller keeps (standard input).
  void attach(int fd);
  // Reads from a descriptor that the reader closes (close(), or the next
  // open, attach or resume).
  void adopt(int fd);
  // Closes an opened file (an attached descriptor is left open).
  void close();
  bool is_open() const { return fd_ >= 0; }
  // The descriptor read from; -1 when none is open.
  int fd() const { return fd_; }

  // The next byte (0..255) other than CR, without consuming it, or -1 at the
  // end of the text (end of file, a 0x1A byte, or a read error: see error()).
  int peek() {
    pos_ = skip_cr(pos_, end_);
    return pos_ < end_ ? static_cast<unsigned char>(*pos_) : refill_peek();
  }
  // Consumes the byte that peek() returned. Precondition: peek() != -1.
  void skip() {
    assert(pos_ < end_);
    ++pos_;
  }

  // The first byte from p on, before end, that is not a CR; end if none is.
  static const char* skip_cr(const char* p, const char* end) {
    while (p < end && *p == '\r') ++p;
    return p;
  }

  // The raw view: the bytes from pos() to limit() are buffered (CR bytes
  // included), and limit()[0] is a NUL sentinel, followed by at least
  // raw_padding more readable bytes of unspecified content (so a scanner may
  // load a word at any position up to the sentinel). advance_to() may move
  // the position anywhere from pos() to limit().
  static constexpr std::size_t raw_padding = 16;
  const char* pos() const { return pos_; }
  const char* limit() const { return end_; }
  void advance_to(const char* p) { pos_ = p; }

  // The first read that failed, nothing when none did: the reader then
  // reads as if the text had ended there.
  failure failed() const { return failure::of_errno(error_, step::reading); }

  // The first bare CR (text_marks.h) among the bytes read so far, read
  // from the text's start (after a seek elsewhere, none is known).
  const bare_cr_watch& bare_cr() const { return bare_cr_; }
  // Whether a byte-order mark was skipped since the reader was opened,
  // attached or resumed.
  bool mark_skipped() const { return mark_skipped_; }

  // Calls observer(ctx, text, length, n) after every read that brought n > 0
  // bytes into the buffer, text being its raw bytes (CR bytes included) up
  // to the end of the text (a 0x1A), length of them: once per buffer, never
  // per byte or record. nullptr stops it.
  using observer_fn = void (*)(void* ctx, const char* text, std::size_t length, std::size_t n);
  void observe(observer_fn observer, void* ctx) {
    observer_ = observer;
    observer_ctx_ = ctx;
  }

  // From the next read on (when turned off: from the next open(), attach()
  // or seek() on), reads on a second thread ahead of the scanning
  // (read_ahead.h), read_ahead_size bytes at a time: for inputs read to
  // their end, not for the few records of a header or for answers typed at
  // the console.
  static constexpr std::size_t read_ahead_size = 1 << 18;
  void prefetch(bool on) { prefetch_ = on; }

  // The offset from the start of the file (or from where the descriptor
  // stood when attached) of the byte at pos(): the bytes consumed so far,
  // CR bytes included. At the end of the text, the offset of its end (the
  // end of the file, or the 0x1A byte).
  long long offset() const { return base_ + (pos_ - buf_); }
  // Reads on from the given offset of an opened file, as if the text had
  // just been opened there; false when the file cannot seek (a pipe).
  bool seek(long long offset);

  // Where a reader stopped, for another reader to go on from there without
  // reading anything twice (an input that can be read only once): the
  // descriptor, the bytes buffered beyond the position (raw, CR bytes
  // included), the offset of the first of them, whether the text has ended,
  // whether its first bytes (a byte-order mark) are still to come, and the
  // bare CR watch. An owned descriptor is closed when the held place goes
  // unused.
  struct held {
    int fd = -1;
    bool owned = false;
    std::string bytes;
    long long offset = 0;
    bool ended = false;
    bool at_start = false;
    bare_cr_watch bare_cr;

    held() = default;
    held(held&& o) noexcept { *this = std::move(o); }
    held& operator=(held&& o) noexcept;
    ~held();
  };
  // Hands the open descriptor over with what is buffered; the reader is
  // closed afterwards. Precondition: not prefetching.
  held release();
  // Goes on reading where release() stopped, as if nothing had been
  // handed over. Precondition: h.bytes fits the buffer.
  void resume(held&& h);

 private:
  int refill_peek();
  std::ptrdiff_t mark_length(std::ptrdiff_t& n);

  void restart();

  std::size_t size_;
  char* own_;  // the buffer when reading in place
  char* buf_;  // the buffer being scanned
  const char* pos_;
  const char* end_;
  long long base_ = 0;  // the offset of buf_[0]
  int fd_ = -1;
  bool owned_ = false;
  bool ended_ = false;
  bool at_start_ = false;  // the next read brings the text's first bytes
  bool mark_skipped_ = false;
  int error_ = 0;
  bare_cr_watch bare_cr_;
  observer_fn observer_ = nullptr;
  void* observer_ctx_ = nullptr;
  bool prefetch_ = false;
  std::unique_ptr<read_ahead> ahead_;  // made by the first read while prefetching
};
