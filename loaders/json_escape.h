// JSON string escaping shared by the loaders.
#pragma once

#include <array>
#include <string>
#include <string_view>

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

// Appends text to out as the body of a JSON string: quotation mark,
// backslash and bytes below 0x20 escaped, every other byte (0x7F and all
// bytes from 0x80 up included) unchanged. Runs that need no escape are
// appended as blocks.
inline void EscapeJsonString(std::string_view text, std::string& out) {
  static constexpr char kHexDigits[] = "0123456789abcdef";
  const char* run = text.data();
  const char* const end = run + text.size();
  for (const char* p = run; p != end; ++p) {
    const unsigned char byte = static_cast<unsigned char>(*p);
    const char escape = kJsonEscapeOf[byte];
    if (escape == 0) continue;
    out.append(run, p);
    if (escape == 'u') {
      const char form[6] = {'\\', 'u', '0', '0', kHexDigits[byte >> 4], kHexDigits[byte & 15]};
      out.append(form, sizeof form);
    } else {
      const char form[2] = {'\\', escape};
      out.append(form, sizeof form);
    }
    run = p + 1;
  }
  out.append(run, end);
}
