#include "text_lines.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

// The first block when one of the file's length cannot be had.
constexpr std::size_t kSmallBlock = 64 * 1024;

}  // namespace

TextModeText ReadTextModeText(std::uint64_t length, ReadChunk read, void* source,
                              TextMemory memory) {
  // One byte more than the length, so that the read which finds the end has
  // room to ask for something. A length beyond memory asks for all of it,
  // which fails.
  std::size_t capacity =
      static_cast<std::size_t>(std::min<std::uint64_t>(length, SIZE_MAX - 1)) + 1;
  char* block = static_cast<char*>(memory.allocate(capacity));
  if (block == nullptr && capacity > kSmallBlock) {
    capacity = kSmallBlock;
    block = static_cast<char*>(memory.allocate(capacity));
  }
  if (block == nullptr) return {nullptr, 0};
  std::size_t filled = 0;
  for (;;) {
    if (filled == capacity) {
      // Longer than its length said, or the block of that length was not
      // to be had: move into one twice as large.
      const std::size_t larger = capacity <= SIZE_MAX / 2 ? std::max(capacity * 2, kSmallBlock) : 0;
      char* const moved = larger != 0 ? static_cast<char*>(memory.allocate(larger)) : nullptr;
      if (moved == nullptr) {
        memory.release(block);
        return {nullptr, 0};
      }
      std::memcpy(moved, block, filled);
      memory.release(block);
      block = moved;
      capacity = larger;
    }
    char* const chunk = block + filled;
    const std::size_t got = read(source, chunk, std::min(capacity - filled, kTextReadSize));
    const std::size_t kept = TextModeLength(std::string_view(chunk, got));
    filled += kept;
    if (got == 0 || kept != got) break;
  }
  return {block, filled};
}
