// JSON string escaping shared by the loaders.
#pragma once

#include <array>
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
