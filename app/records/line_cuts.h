// Where a stretch of text is cut into parts for threads that take one part
// each: after line ends, so that a part starts at the start of a line.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "host/compiler.h"

// Cuts the stretch [begin, limit) into up to count + 1 parts: cut i lies
// just after the first LF at or past an even share (i + 1) / (count + 1) of
// the stretch, and after the cut before it. Stores the cuts, which start the
// later parts, and returns how many there are (fewer when the LFs run out).
TILVARO_INLINE unsigned cut_at_lines(const char* begin, const char* limit, unsigned count, const char** cuts) {
  const auto length = static_cast<std::size_t>(limit - begin);
  unsigned later = 0;
  const char* from = begin;
  for (unsigned i = 0; i < count; ++i) {
    const char* target = std::max(from, begin + length * (i + 1) / (count + 1));
    const void* lf = std::memchr(target, '\n', static_cast<std::size_t>(limit - target));
    if (lf == nullptr) break;
    from = static_cast<const char*>(lf) + 1;
    cuts[later++] = from;
  }
  return later;
}
