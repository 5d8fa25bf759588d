// The marks of a stretch of text: its 0x1A and its first bare CR.
#include "text_marks.h"

#include <cstdint>
#include <cstring>

#include "compiler.h"
#include "digit_chunks.h"

#if TILVARO_SSE2
#include <emmintrin.h>
#endif

namespace {

int ones(std::uint32_t x) {
#if TILVARO_BUILTIN_BITS
  return __builtin_popcount(x);
#else
  int n = 0;
  for (; x != 0; x &= x - 1) ++n;
  return n;
#endif
}

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

}  // namespace

// Step 1: the 0x1A, by memchr (the text is searched for it to its end).
// Step 2: the CR and LF bytes before it, sixteen at a time where SSE2 is:
// a CR whose next byte is neither CR nor LF ends a bare run; the sixteenth
// byte's next lies in the next block and is looked at alone. The LF bytes
// are counted until the first bare run.
stretch_marks mark_stretch(const char* p, std::ptrdiff_t n) {
  stretch_marks m;
  const void* sub = n > 0 ? std::memchr(p, 0x1A, static_cast<std::size_t>(n)) : nullptr;
  m.end = sub ? static_cast<const char*>(sub) - p : n;
  std::ptrdiff_t i = 0;
#if TILVARO_SSE2
  const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
  for (; i + 16 < m.end; i += 16) {  // a block whose sixteenth byte has a next within the text
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const std::uint32_t crs = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, cr)));
    const std::uint32_t lfs = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, lf)));
    if (crs != 0) {
      const std::uint32_t next_ends = ((crs | lfs) >> 1) | (ends_bare_run(p, i + 15) ? 0u : 0x8000u);
      if (const std::uint32_t bare = crs & ~next_ends) {
        const int at = lowest_bit(bare);
        m.bare_cr = i + at;
        m.lfs += ones(lfs & ((1u << at) - 1));
        return m;
      }
    }
    m.lfs += ones(lfs);
  }
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
