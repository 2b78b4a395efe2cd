#include "ini_text.h"

#include <charconv>

std::size_t FormatIniInt(std::int32_t value, char* buffer) {
  // "-2147483648" is the longest text: 11 bytes and the terminator.
  char* const end = std::to_chars(buffer, buffer + 11, value).ptr;
  *end = '\0';
  return static_cast<std::size_t>(end - buffer);
}

void FormatIniFloat(float value, Utf16Unit (&buffer)[128]) {
  // The toolchain's own to_chars, linked into the DLL, writes exactly what
  // C99 "%.6g" writes in the C locale. The system msvcrt.dll printf does not:
  // it writes three-digit exponents ("1e+006") and "1.#INF".
  char text[32];
  const char* const end = std::to_chars(text, text + sizeof text, static_cast<double>(value),
                                        std::chars_format::general, 6)
                              .ptr;
  std::size_t length = 0;
  for (const char* p = text; p != end; ++p) buffer[length++] = static_cast<Utf16Unit>(*p);
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
