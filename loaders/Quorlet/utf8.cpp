#include "utf8.h"

#include <cstdint>
#include <cstring>

bool IsValidUtf8(std::string_view text) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
  const unsigned char* const end = p + text.size();
  while (p != end) {
    // Most text is ASCII: skip it eight bytes at a time.
    if (end - p >= 8) {
      std::uint64_t block;
      std::memcpy(&block, p, sizeof block);
      if ((block & 0x8080808080808080u) == 0) {
        p += 8;
        continue;
      }
    }
    const unsigned char lead = *p;
    if (lead < 0x80) {
      ++p;
      continue;
    }
    // The second byte's range excludes overlong forms, surrogates and code
    // points above U+10FFFF; later bytes only need to be continuation bytes.
    std::ptrdiff_t length;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead < 0xC2) {
      return false;
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
      return false;
    }
    if (end - p < length || p[1] < low || p[1] > high) return false;
    for (std::ptrdiff_t i = 2; i < length; ++i) {
      if ((p[i] & 0xC0) != 0x80) return false;
    }
    p += length;
  }
  return true;
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
