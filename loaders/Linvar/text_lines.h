// Text read the way the platform's text mode reads it, and its lines. These
// are the only copy of the text-mode rules: the loader and the checker both
// use them. The scans take 16 bytes at a time with SSE2, which every x86
// processor that runs a current Windows has.
#pragma once

#include <emmintrin.h>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "byte_scan.h"

// Length of the text the platform's text mode reads from these bytes: up to
// the first 0x1A, which ends the input.
inline std::size_t TextModeLength(std::string_view bytes) {
  const char* const end = bytes.data() + bytes.size();
  return static_cast<std::size_t>(FindByte(bytes.data(), end, '\x1a') - bytes.data());
}

// The text-mode line ends among 16 bytes of text: 0xFF in each line feed,
// and in each CR directly before a line feed, which text mode drops with it
// (CR LF reads as LF). following holds the 16 bytes one further on. A CR
// before anything else stays, whatever it is.
struct TextLineEnds {
  __m128i lineFeeds;
  __m128i droppedCrs;
};

inline TextLineEnds TextLineEndsIn(__m128i bytes, __m128i following) {
  const __m128i lineFeed = _mm_set1_epi8('\n');
  return {_mm_cmpeq_epi8(bytes, lineFeed), _mm_and_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\r')),
                                                         _mm_cmpeq_epi8(following, lineFeed))};
}

// Calls visit(std::size_t number, std::size_t offset, std::string_view line)
// for every line of text (already cut at 0x1A), numbered from 1, with the
// offset of its first byte: LF ends a line; a CR directly before it is
// dropped (CR LF reads as LF); a lone CR stays in the line; bytes after the
// last LF are a last line when there are any.
template <class Visit>
void ForEachTextLine(std::string_view text, Visit&& visit) {
  std::size_t number = 0;
  std::size_t start = 0;      // the current line's first byte
  unsigned droppedCarry = 0;  // 1 when the byte before the block is a dropped CR
  // The lines that end in the 16 bytes at offset, loaded from block.
  const auto endLines = [&](std::size_t offset, const char* block) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block));
    const __m128i following = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 1));
    const TextLineEnds ends = TextLineEndsIn(bytes, following);
    const unsigned dropped = static_cast<unsigned>(_mm_movemask_epi8(ends.droppedCrs));
    const unsigned droppedBefore = dropped << 1 | droppedCarry;
    for (unsigned lineFeeds = static_cast<unsigned>(_mm_movemask_epi8(ends.lineFeeds));
         lineFeeds != 0; lineFeeds &= lineFeeds - 1) {
      const unsigned at = static_cast<unsigned>(std::countr_zero(lineFeeds));
      const std::size_t lineFeed = offset + at;
      const std::size_t stop = lineFeed - (droppedBefore >> at & 1);
      visit(++number, start, text.substr(start, stop - start));
      start = lineFeed + 1;
    }
    droppedCarry = dropped >> 15;
  };
  // Blocks are loaded with the byte after them, straight from the text while
  // it has one; the last 16 bytes at most from a copy followed by zeros.
  std::size_t offset = 0;
  for (; text.size() - offset >= 17; offset += 16) endLines(offset, text.data() + offset);
  if (offset < text.size()) {
    char tail[33] = {};
    std::memcpy(tail, text.data() + offset, text.size() - offset);
    endLines(offset, tail);
  }
  if (start != text.size()) visit(++number, start, text.substr(start));
}

// Puts the next bytes of the input from source into buffer, at most size of
// them, and returns how many; 0 ends the input (its end, or a read error).
using ReadChunk = std::size_t (*)(void* source, char* buffer, std::size_t size);

// The most ReadTextModeText asks ReadChunk for at a time: the bytes are
// still in the cache when they are searched for 0x1A.
inline constexpr std::size_t kTextReadSize = 256 * 1024;

// Where the text's block comes from: the C runtime's heap in the loader.
// allocate gives null when there is no memory, and throws nothing.
struct TextMemory {
  void* (*allocate)(std::size_t size);
  void (*release)(void* block);
};

// A text in a block of TextMemory; block is null when memory ran out.
struct TextModeText {
  char* block;
  std::size_t size;
  std::string_view view() const { return {block, size}; }
};

// Reads the input the way text mode does, into one block: up to its first
// 0x1A (no read after the one that brought it) or its end. length, the
// input's length as its file gave it, sizes the block; when a block that
// long cannot be had (a 32-bit process and a huge file), the block starts
// small and grows as the text needs, so a text that ends at an early 0x1A
// still loads. A file longer than its length is read on to its end.
TextModeText ReadTextModeText(std::uint64_t length, ReadChunk read, void* source,
                              TextMemory memory);
