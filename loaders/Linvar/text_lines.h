// Text read the way the platform's text mode reads it, written as a JSON
// array of its lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// Puts the next bytes of the input from source into buffer, at most size of
// them, and returns how many; 0 ends the input (its end, or a read error).
using ReadChunk = std::size_t (*)(void* source, char* buffer, std::size_t size);

// The size of the buffer LinesJson hands to ReadChunk.
inline constexpr std::size_t kLinesChunkSize = 64 * 1024;

// LoadLines's work between opening the file and the host's block: reads the
// input once, chunk by chunk, and writes the JSON array of its lines. CR LF
// reads as LF, a lone CR stays, LF ends a line, and a 0x1A byte ends the
// input: no chunk after the one that holds it is asked for. sizeHint, the
// file's length, sizes the text's first reserve, which is capped, and the
// reserve it grows to when the text outgrows that (at most four times it).
// nullopt when the text would not fit in a host block. Throws
// std::bad_alloc when memory runs out.
std::optional<std::string> LinesJson(std::uint64_t sizeHint, ReadChunk read, void* source);
