// JSON string escaping shared by the loaders.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstring>
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

// Returns the first byte from p on that needs an escape: below 0x20,
// quotation mark or backslash. Text is mostly runs of bytes that need none,
// so this looks at a machine word at a time.
inline const char* SkipUnescaped(const char* p, const char* end) {
  using Word = std::size_t;
  // The lowest flagged byte of a word is its first one only in this order.
  static_assert(std::endian::native == std::endian::little);
  constexpr Word kOnes = ~Word{0} / 0xFF;
  constexpr Word kHighs = kOnes * 0x80;
  constexpr Word kQuotes = kOnes * '"';
  constexpr Word kBackslashes = kOnes * '\\';
  while (static_cast<std::size_t>(end - p) >= sizeof(Word)) {
    Word word;
    std::memcpy(&word, p, sizeof word);
    // The high bit of a byte is set where the byte is below 0x20 or equals
    // one of the two. A borrow can flag bytes above a flagged one, never
    // below it, so the lowest flag is exact.
    const Word quotes = word ^ kQuotes;
    const Word backslashes = word ^ kBackslashes;
    const Word flags = ((word - kOnes * 0x20) & ~word) | ((quotes - kOnes) & ~quotes) |
                       ((backslashes - kOnes) & ~backslashes);
    if (const Word found = flags & kHighs; found != 0) {
      return p + std::countr_zero(found) / 8;
    }
    p += sizeof(Word);
  }
  while (p != end && kJsonEscapeOf[static_cast<unsigned char>(*p)] == 0) ++p;
  return p;
}

// Appends the escaped form of one byte that needs it. One append of the
// whole form: three appends per byte made tab-indented text about half again
// as slow.
inline void AppendJsonEscape(char byte, std::string& out) {
  static constexpr char kHexDigits[] = "0123456789abcdef";
  const unsigned char value = static_cast<unsigned char>(byte);
  const char escape = kJsonEscapeOf[value];
  if (escape == 'u') {
    const char form[6] = {'\\', 'u', '0', '0', kHexDigits[value >> 4], kHexDigits[value & 15]};
    out.append(form, sizeof form);
  } else {
    const char form[2] = {'\\', escape};
    out.append(form, sizeof form);
  }
}

// Appends text to out as the body of a JSON string: quotation mark,
// backslash and bytes below 0x20 escaped, every other byte (0x7F and all
// bytes from 0x80 up included) unchanged. Runs that need no escape are
// appended as blocks.
inline void EscapeJsonString(std::string_view text, std::string& out) {
  const char* p = text.data();
  const char* const end = p + text.size();
  for (;;) {
    const char* const run = p;
    p = SkipUnescaped(p, end);
    out.append(run, p);
    if (p == end) return;
    AppendJsonEscape(*p++, out);
  }
}
