// Where quorlet.d.ts goes, and how a failure to write it reads in the log.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

inline constexpr std::size_t kDirectoryBufferSize = 256;

// The directory text is the buffer up to its first zero byte; a buffer with no
// zero byte, or text that is not valid UTF-8, counts as empty. The name is
// appended directly after "", a trailing "\" or "/", or a bare drive "C:";
// otherwise after a backslash.
std::string QuorletTypingsPath(const char (&directory)[kDirectoryBufferSize]);

// Removes Unicode White_Space characters from the end of UTF-8 text.
void TrimTrailingWhiteSpace(std::string& text);

// "MESSAGE (os error N)", the message already trimmed.
std::string OsErrorText(std::string_view message, std::uint32_t code);
