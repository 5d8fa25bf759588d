// The marks of a stretch of text: its 0x1A and its first bare CR.
#include "streams/text_marks.h"

#include <cstring>

#include "host/compiler.h"

#if TILVARO_SSE2
#include <emmintrin.h>
#endif

namespace {

// Whether the CR at p[i] is the last of a bare run, the text ending at end.
// Precondition: p[i] is a CR and i + 1 < end.
bool ends_bare_run(const char* p, std::ptrdiff_t i) { return p[i + 1] != '\r' && p[i + 1] != '\n'; }

// The scalar scan of the bytes from i to end; m.lfs counts on.
void mark_bytes(const char* p, std::ptrdiff_t i, std::ptrdiff_t end, stretch_marks& m) {
  for (; i < end; ++i) {
    if (p[i] == '\n') {
      ++m.lfs;
    } else if (p[i] == '\r') {
      if (i + 1 == end) {
        m.ends_in_cr = true;
      } else if (ends_bare_run(p, i)) {
        m.bare_cr = i;
        return;
      }
    }
  }
}

#if TILVARO_SSE2
// The sum of the sixteen byte lanes of v.
std::ptrdiff_t add_up(__m128i v) {
  const __m128i sums = _mm_sad_epu8(v, _mm_setzero_si128());
  return static_cast<std::ptrdiff_t>(_mm_cvtsi128_si64(sums) + _mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums)));
}

// The bytes from 0 on, 64 at a time, as long as a block holds no bare CR
// and the byte after it lies before end: each byte's CR test beside its
// next byte's CR or LF test, and the LF bytes counted in byte lanes (added
// up before a lane can overflow). Returns where the scalar scan goes on:
// at the block holding the first bare CR, or at the last bytes.
std::ptrdiff_t mark_blocks(const char* p, std::ptrdiff_t end, stretch_marks& m) {
  const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n'), zero = _mm_setzero_si128();
  __m128i counts = zero;  // at most 4 a block, for at most 63 blocks
  int blocks = 0;
  std::ptrdiff_t i = 0;
  for (; i + 64 < end; i += 64) {
    __m128i bare = zero, lfs = zero;
    for (int k = 0; k < 64; k += 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + k));
      const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + k + 1));
      const __m128i line_end = _mm_or_si128(_mm_cmpeq_epi8(next, cr), _mm_cmpeq_epi8(next, lf));
      bare = _mm_or_si128(bare, _mm_andnot_si128(line_end, _mm_cmpeq_epi8(v, cr)));
      lfs = _mm_sub_epi8(lfs, _mm_cmpeq_epi8(v, lf));
    }
    if (_mm_movemask_epi8(bare) != 0) break;
    counts = _mm_add_epi8(counts, lfs);
    if (++blocks == 63) {
      m.lfs += add_up(counts);
      counts = zero;
      blocks = 0;
    }
  }
  m.lfs += add_up(counts);
  return i;
}
#endif

}  // namespace

// Step 1: the 0x1A, by memchr (the text is searched for it to its end).
// Step 2: the CR and LF bytes before it, in blocks of 64 where SSE2 is,
// then byte by byte from the block with the first bare CR on (or for the
// last bytes). The LF bytes are counted until the first bare run.
stretch_marks mark_stretch(const char* p, std::ptrdiff_t n) {
  stretch_marks m;
  const void* sub = n > 0 ? std::memchr(p, 0x1A, static_cast<std::size_t>(n)) : nullptr;
  m.end = sub ? static_cast<const char*>(sub) - p : n;
#if TILVARO_SSE2
  const std::ptrdiff_t i = mark_blocks(p, m.end, m);
#else
  const std::ptrdiff_t i = 0;
#endif
  mark_bytes(p, i, m.end, m);
  return m;
}

void bare_cr_watch::take(const stretch_marks& m, long long base, int first) {
  if (!known_ || line_ != 0) return;
  if (pending_ >= 0 && first >= 0 && first != '\r' && first != '\n') {
    line_ = lfs_ + 1;
    at_ = pending_;
    return;
  }
  pending_ = m.ends_in_cr ? base + m.end - 1 : -1;
  if (m.bare_cr >= 0) {
    line_ = lfs_ + m.lfs + 1;
    at_ = base + m.bare_cr;
  }
  lfs_ += m.lfs;
}

// Sixteen bytes at a time where SSE2 is: the LF lanes, and those of them
// whose byte before is a CR (the first byte's is the carry from the last
// stretch), counted in byte lanes and added up before a lane can overflow;
// then the last bytes one by one.
void line_end_count::take(const char* p, std::size_t n) {
  std::size_t i = 0;
#if TILVARO_SSE2
  if (n >= 17) {
    // The first byte alone: its byte before lies in the last stretch.
    lfs += p[0] == '\n';
    crlfs += p[0] == '\n' && after_cr;
    const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n'), zero = _mm_setzero_si128();
    __m128i lf_lanes = zero, crlf_lanes = zero;  // at most 255 each
    int blocks = 0;
    for (i = 1; i + 16 <= n; i += 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
      const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i - 1));
      const __m128i ends = _mm_cmpeq_epi8(v, lf);
      lf_lanes = _mm_sub_epi8(lf_lanes, ends);
      crlf_lanes = _mm_sub_epi8(crlf_lanes, _mm_and_si128(ends, _mm_cmpeq_epi8(before, cr)));
      if (++blocks == 255) {
        lfs += add_up(lf_lanes);
        crlfs += add_up(crlf_lanes);
        lf_lanes = crlf_lanes = zero;
        blocks = 0;
      }
    }
    lfs += add_up(lf_lanes);
    crlfs += add_up(crlf_lanes);
    after_cr = p[i - 1] == '\r';
  }
#endif
  for (; i < n; ++i) {
    if (p[i] == '\n') {
      ++lfs;
      crlfs += after_cr;
    }
    after_cr = p[i] == '\r';
  }
}
