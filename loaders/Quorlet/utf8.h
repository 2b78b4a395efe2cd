// UTF-8 checks shared by the FXT parser and the typings path.
#pragma once

#include <cstddef>
#include <string_view>

// The offset of the first byte of the first ill-formed UTF-8 sequence in
// text (an overlong form, a surrogate, a code point above U+10FFFF, a
// truncated sequence or a stray byte); text.size() when there is none.
std::size_t Utf8ErrorOffset(std::string_view text);

// True when text is well-formed UTF-8.
inline bool IsValidUtf8(std::string_view text) {
  return Utf8ErrorOffset(text) == text.size();
}

// Byte length of the Unicode White_Space character that text starts with, or
// ends with; 0 when there is none. Text is UTF-8.
std::size_t LeadingWhiteSpaceLength(std::string_view text);
std::size_t TrailingWhiteSpaceLength(std::string_view text);
