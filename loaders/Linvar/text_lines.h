// Text read the way the platform's text mode reads it, and the JSON array of
// its lines. These are the only copy of the text-mode line rules: the loader
// and the checker both use them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

// Length of the text the platform's text mode reads from these bytes: up to
// the first 0x1A, which ends the input.
inline std::size_t TextModeLength(std::string_view bytes) {
  const void* end = std::memchr(bytes.data(), '\x1a', bytes.size());
  return end == nullptr ? bytes.size() : static_cast<const char*>(end) - bytes.data();
}

// Calls visit(std::size_t number, std::size_t offset, std::string_view line)
// for every line of text (already cut at 0x1A), numbered from 1, with the
// offset of its first byte: LF ends a line; a CR directly before it is
// dropped (CR LF reads as LF); a lone CR stays in the line; bytes after the
// last LF are a last line when there are any.
template <class Visit>
void ForEachTextLine(std::string_view text, Visit&& visit) {
  std::size_t number = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    const void* found = std::memchr(text.data() + start, '\n', text.size() - start);
    const std::size_t lineFeed =
        found == nullptr ? text.size() : static_cast<const char*>(found) - text.data();
    std::size_t end = lineFeed;
    if (found != nullptr && end > start && text[end - 1] == '\r') --end;
    visit(++number, start, text.substr(start, end - start));
    start = lineFeed + 1;
  }
}

// Puts the next bytes of the input from source into buffer, at most size of
// them, and returns how many; 0 ends the input (its end, or a read error).
using ReadChunk = std::size_t (*)(void* source, char* buffer, std::size_t size);

// The size of the buffer LinesJson hands to ReadChunk.
inline constexpr std::size_t kLinesChunkSize = 64 * 1024;

// LoadLines's work between opening the file and the host's block: reads the
// input chunk by chunk up to its first 0x1A (no chunk after the one that
// holds it is asked for) and writes the JSON array of its text-mode lines.
// sizeHint is the file's length. nullopt when the text would not fit in a
// host block. Throws std::bad_alloc when memory runs out.
std::optional<std::string> LinesJson(std::uint64_t sizeHint, ReadChunk read, void* source);
