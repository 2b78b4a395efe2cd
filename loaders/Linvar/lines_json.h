// The JSON array of a text's lines, written straight into the host's block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// Exact length of the JSON array of the text's lines (text already cut at
// 0x1A): "[", each line as a string (quotation marks around the line with
// the loaders' escapes), commas between them, "]".
std::uint64_t LinesJsonLength(std::string_view text);

// Asks allocateBlock once for the array's length plus one and writes the
// array and a NUL into the block, in one pass over the text. Null, without asking, when the array
// would not fit in a host block; null when allocateBlock gives null.
char* LinesJsonBlock(std::string_view text, void* (*allocateBlock)(std::uint32_t size));
