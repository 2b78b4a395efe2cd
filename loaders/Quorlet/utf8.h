#pragma once

#include <string_view>

// True when text is well-formed UTF-8: no overlong forms, no surrogates,
// nothing above U+10FFFF, no truncated sequence.
bool IsValidUtf8(std::string_view text);
