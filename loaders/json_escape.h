// JSON string escaping shared by the loaders.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstring>

// For each byte: 0 when it passes unchanged, else the letter of its short
// escape ('"', '\\', 'b', 't', 'n', 'f', 'r') or 'u' for the \u00XX form.
inline constexpr std::array<char, 256> kJsonEscapeOf = [] {
  std::array<char, 256> table{};
  for (int byte = 0; byte < 0x20; ++byte) table[byte] = 'u';
  table['\b'] = 'b';
  table['\t'] = 't';
  table['\n'] = 'n';
  table['\f'] = 'f';
  table['\r'] = 'r';
  table['"'] = '"';
  table['\\'] = '\\';
  return table;
}();

// Text is mostly runs of bytes that need no escape, so the scans look at a
// machine word at a time.
using JsonWord = std::size_t;

// Flags, in the high bit of each byte, the bytes of word that need an
// escape: below 0x20, quotation mark or backslash. A borrow can flag a byte
// above a flagged one, never below it, so the lowest flag is exact; with the
// bytes in little-endian order that is the first such byte.
inline JsonWord JsonEscapeFlags(JsonWord word) {
  static_assert(std::endian::native == std::endian::little);
  constexpr JsonWord kOnes = ~JsonWord{0} / 0xFF;
  constexpr JsonWord kQuotes = kOnes * '"';
  constexpr JsonWord kBackslashes = kOnes * '\\';
  const JsonWord quotes = word ^ kQuotes;
  const JsonWord backslashes = word ^ kBackslashes;
  const JsonWord flags = ((word - kOnes * 0x20) & ~word) | ((quotes - kOnes) & ~quotes) |
                         ((backslashes - kOnes) & ~backslashes);
  return flags & (kOnes * 0x80);
}

// Writes the escaped form of one byte that needs it (two or six bytes) at
// out; returns the end of what it wrote.
inline char* WriteJsonEscape(char byte, char* out) {
  static constexpr char kHexDigits[] = "0123456789abcdef";
  const unsigned char value = static_cast<unsigned char>(byte);
  const char escape = kJsonEscapeOf[value];
  *out++ = '\\';
  if (escape != 'u') {
    *out++ = escape;
    return out;
  }
  const char form[5] = {'u', '0', '0', kHexDigits[value >> 4], kHexDigits[value & 15]};
  std::memcpy(out, form, sizeof form);
  return out + sizeof form;
}
