#include "utf8.h"

#include <emmintrin.h>

#include <bit>

std::size_t Utf8ErrorOffset(std::string_view text) {
  const unsigned char* const begin = reinterpret_cast<const unsigned char*>(text.data());
  const unsigned char* const end = begin + text.size();
  const unsigned char* p = begin;
  while (p != end) {
    // Most text is ASCII: skip it sixteen bytes at a time, up to the first
    // byte with its high bit set.
    if (end - p >= 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(bytes));
      if (high == 0) {
        p += 16;
        continue;
      }
      p += std::countr_zero(high);
    } else if (*p < 0x80) {
      ++p;
      continue;
    }
    // The second byte's range excludes overlong forms, surrogates and code
    // points above U+10FFFF; later bytes only need to be continuation bytes.
    const unsigned char lead = *p;
    std::ptrdiff_t length;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead < 0xC2) {
      break;
    } else if (lead < 0xE0) {
      length = 2;
    } else if (lead < 0xF0) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead < 0xF5) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      break;
    }
    if (end - p < length || p[1] < low || p[1] > high) break;
    if (length > 2 && (p[2] & 0xC0) != 0x80) break;
    if (length > 3 && (p[3] & 0xC0) != 0x80) break;
    p += length;
  }
  return static_cast<std::size_t>(p - begin);
}

namespace {

bool IsAsciiWhiteSpace(unsigned char byte) {
  return byte == 0x20 || (byte >= 0x09 && byte <= 0x0D);
}

// U+0085 and U+00A0.
bool IsTwoByteWhiteSpace(unsigned char b0, unsigned char b1) {
  return b0 == 0xC2 && (b1 == 0x85 || b1 == 0xA0);
}

// U+1680, U+2000..U+200A, U+2028, U+2029, U+202F, U+205F and U+3000.
bool IsThreeByteWhiteSpace(unsigned char b0, unsigned char b1, unsigned char b2) {
  switch (b0) {
    case 0xE1:
      return b1 == 0x9A && b2 == 0x80;
    case 0xE2:
      if (b1 == 0x80) return (b2 >= 0x80 && b2 <= 0x8A) || b2 == 0xA8 || b2 == 0xA9 || b2 == 0xAF;
      return b1 == 0x81 && b2 == 0x9F;
    case 0xE3:
      return b1 == 0x80 && b2 == 0x80;
    default:
      return false;
  }
}

}  // namespace

std::size_t LeadingWhiteSpaceLength(std::string_view text) {
  if (text.empty()) return 0;
  const auto b0 = static_cast<unsigned char>(text[0]);
  if (IsAsciiWhiteSpace(b0)) return 1;
  // Only 0xC2, 0xE1, 0xE2 and 0xE3 start a longer White_Space character.
  if (b0 < 0xC2 || text.size() < 2) return 0;
  const auto b1 = static_cast<unsigned char>(text[1]);
  if (IsTwoByteWhiteSpace(b0, b1)) return 2;
  if (text.size() < 3) return 0;
  return IsThreeByteWhiteSpace(b0, b1, static_cast<unsigned char>(text[2])) ? 3 : 0;
}

std::size_t TrailingWhiteSpaceLength(std::string_view text) {
  const std::size_t size = text.size();
  if (size == 0) return 0;
  const auto last = static_cast<unsigned char>(text[size - 1]);
  if (IsAsciiWhiteSpace(last)) return 1;
  if (last < 0x80) return 0;
  // A lead byte never occurs inside a sequence, so matching the whole
  // sequence ending here identifies the character.
  const auto before = static_cast<unsigned char>(size >= 2 ? text[size - 2] : 0);
  if (IsTwoByteWhiteSpace(before, last)) return 2;
  if (size < 3) return 0;
  return IsThreeByteWhiteSpace(static_cast<unsigned char>(text[size - 3]), before, last) ? 3 : 0;
}
