// The byte search both loaders' line rules use: the C runtime's memchr looks
// at one byte at a time under some Windows versions.
#pragma once

#include <emmintrin.h>

#include <bit>

// The first byte from p on (before end) that equals byte, or end; sixteen
// bytes at a time.
inline const char* FindByte(const char* p, const char* end, char byte) {
  const __m128i wanted = _mm_set1_epi8(byte);
  for (; end - p >= 16; p += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const unsigned found = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, wanted)));
    if (found != 0) return p + std::countr_zero(found);
  }
  while (p != end && *p != byte) ++p;
  return p;
}
