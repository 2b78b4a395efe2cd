#include "ini_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>

std::size_t FormatIniInt(std::int32_t value, char* buffer) {
  // "-2147483648" is the longest text: 11 bytes and the terminator.
  char* const end = std::to_chars(buffer, buffer + 11, value).ptr;
  *end = '\0';
  return static_cast<std::size_t>(end - buffer);
}

void FormatIniFloat(float value, Utf16Unit (&buffer)[128]) {
  // C99 "%g" from the toolchain's own C library. mingw-w64 links its
  // implementation into the DLL under this name: the system msvcrt.dll's
  // printf writes three-digit exponents ("1e+006") and "1.#INF" instead.
  // glibc's and the UCRT's snprintf are C99 already.
#if defined(__MINGW32__)
  constexpr auto FormatC99 = __mingw_snprintf;
#else
  constexpr auto FormatC99 = snprintf;
#endif
  char text[32];  // "-1.17549e-38" is about the longest
  // A NaN is "nan" whatever its sign bit: what the DLL's formatter writes,
  // which glibc's, natively, would write as "-nan".
  const int length = std::isnan(value)
                         ? FormatC99(text, sizeof text, "nan")
                         : FormatC99(text, sizeof text, "%g", static_cast<double>(value));
  for (int i = 0; i < length; ++i) buffer[i] = static_cast<Utf16Unit>(text[i]);
  buffer[length] = 0;
}

std::size_t Utf16UnitsFittingUtf8(const Utf16Unit* text, std::size_t maxBytes) {
  std::size_t units = 0;
  std::size_t bytes = 0;
  for (;;) {
    const char32_t unit = text[units];
    if (unit == 0) break;
    std::size_t width = 1;  // units taken by this character
    std::size_t size = 3;   // its UTF-8 bytes; also U+FFFD for a lone surrogate
    if (unit < 0x80) {
      size = 1;
    } else if (unit < 0x800) {
      size = 2;
    } else if (unit >= 0xD800 && unit < 0xDC00) {
      const char32_t next = text[units + 1];
      if (next >= 0xDC00 && next < 0xE000) {
        width = 2;
        size = 4;
      }
    }
    if (bytes + size > maxBytes) break;
    bytes += size;
    units += width;
  }
  return units;
}
