// What a stretch of point-file text holds that its reader must know beyond
// the bytes themselves: where a 0x1A byte ends the text, and where the first
// bare CR stands, with the line it stands on; and, for a report on a text,
// how its lines end.
//
// A bare CR is a run of CR bytes followed by a byte other than LF: the
// reading removes every CR, so the text on both sides of such a run joins
// ("2\r5" reads as 25). A run before an LF (CR LF, CR CR LF) is a line end;
// a run at the end of the text joins nothing.
#pragma once

#include <cstddef>

struct stretch_marks {
  std::ptrdiff_t end = 0;        // the offset of the first 0x1A; the length when none
  std::ptrdiff_t bare_cr = -1;   // the offset of the last CR of the first bare run before end; -1 none
  std::ptrdiff_t lfs = 0;        // the LF bytes before bare_cr, or before end when there is none
  bool ends_in_cr = false;       // without a bare run, the byte before end is a CR: the next stretch decides
};

// Marks the n bytes at p. The scan reads no byte past p[n - 1].
stretch_marks mark_stretch(const char* p, std::ptrdiff_t n);

// The first bare CR of a text read in stretches, stretch after stretch from
// its start, and the line it stands on (LF bytes before it, plus one).
class bare_cr_watch {
 public:
  // Takes the marks m of the next stretch, which begins at offset base of
  // the text and whose first byte is first (-1 when the stretch ends the
  // text: an empty stretch, or one starting with 0x1A).
  void take(const stretch_marks& m, long long base, int first);
  // The text stops being watched (read from elsewhere than its start); a
  // watch made anew starts over.
  void forget() { known_ = false; }

  // The line of the first bare CR, 0 when none has been seen (or the watch
  // was forgotten); its offset in the text.
  long long line() const { return known_ ? line_ : 0; }
  long long offset() const { return at_; }

 private:
  long long lfs_ = 0;        // LF bytes seen before the stretches still to come
  long long line_ = 0;       // 0 until found
  long long at_ = -1;
  long long pending_ = -1;   // the offset of a CR that ended the last stretch
  bool known_ = true;
};

// The line ends of a text read in stretches, stretch after stretch: its LF
// bytes, and how many of them come right after a CR (CR LF; a run of CRs
// before an LF counts once).
struct line_end_count {
  long long lfs = 0;
  long long crlfs = 0;
  bool after_cr = false;  // the last stretch taken ended in a CR

  // Counts the n bytes at p, the next stretch of the text.
  void take(const char* p, std::size_t n);
};
