// UTF-8 checks shared by the FXT parser and the typings path.
#pragma once

#include <cstddef>
#include <string_view>

// True when text is well-formed UTF-8: no overlong forms, no surrogates,
// nothing above U+10FFFF, no truncated sequence.
bool IsValidUtf8(std::string_view text);

// Byte length of the Unicode White_Space character that text starts with, or
// ends with; 0 when there is none. Text is UTF-8.
std::size_t LeadingWhiteSpaceLength(std::string_view text);
std::size_t TrailingWhiteSpaceLength(std::string_view text);
