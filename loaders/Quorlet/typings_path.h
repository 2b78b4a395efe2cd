// Where quorlet.d.ts goes.
#pragma once

#include <cstddef>
#include <string>

inline constexpr std::size_t kDirectoryBufferSize = 256;

// The directory text is the buffer up to its first zero byte; a buffer with no
// zero byte, or text that is not valid UTF-8, counts as empty. The name is
// appended directly after "", a trailing "\" or "/", or a bare drive "C:";
// otherwise after a backslash.
std::string QuorletTypingsPath(const char (&directory)[kDirectoryBufferSize]);
