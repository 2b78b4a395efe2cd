// Input for ReadTextModeText from memory, handed out in chunks of sizes a
// test chooses, as a file's reads may come; and the line loader's core run
// on it, from the bytes to the JSON text.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lines_json.h"
#include "text_lines.h"

struct ChunkedInput {
  std::string_view rest;
  // Sizes of the chunks in turn, repeated; none: as much as is asked for.
  // Each is at least 1, so no chunk before the end is empty.
  std::vector<std::size_t> sizes = {};
  std::size_t reads = 0;
  bool endOfTextHandedOut = false;  // a chunk with a 0x1A byte went out
  std::size_t readsAfterEndOfText = 0;
};

inline std::size_t ReadChunkFrom(void* source, char* buffer, std::size_t size) {
  ChunkedInput& input = *static_cast<ChunkedInput*>(source);
  if (input.endOfTextHandedOut) ++input.readsAfterEndOfText;
  std::size_t take = std::min(size, input.rest.size());
  if (!input.sizes.empty()) take = std::min(take, input.sizes[input.reads % input.sizes.size()]);
  ++input.reads;
  std::memcpy(buffer, input.rest.data(), take);
  if (input.rest.substr(0, take).find('\x1a') != std::string_view::npos) {
    input.endOfTextHandedOut = true;
  }
  input.rest.remove_prefix(take);
  return take;
}

// The C runtime's heap, which has no block over 1 GiB here, as a 32-bit
// process's has not (and the sanitizers stop the test at a huge one).
inline void* AllocateFromHeap(std::size_t size) {
  return size <= (std::size_t{1} << 30) ? std::malloc(size) : nullptr;
}
inline void ReleaseToHeap(void* block) {
  std::free(block);
}
inline constexpr TextMemory kHeapMemory = {&AllocateFromHeap, &ReleaseToHeap};

// The host's block: exactly the size asked for, so that a write past it is
// caught by the address sanitizer, and filled with 0xAA bytes, which a
// short text leaves before its NUL.
inline void* AllocateExactBlock(std::uint32_t size) {
  void* const block = std::malloc(size);
  if (block != nullptr) std::memset(block, 0xaa, size);
  return block;
}

// What LoadLines does after opening a file: reads it (its length as given)
// through memory, and writes the JSON array into an exact block. nullopt
// when memory ran out or the text does not fit in a host block.
inline std::optional<std::string> LinesJsonOf(ChunkedInput& input, std::uint64_t length,
                                              TextMemory memory = kHeapMemory) {
  const TextModeText text = ReadTextModeText(length, &ReadChunkFrom, &input, memory);
  if (text.block == nullptr) return std::nullopt;
  char* const block = LinesJsonBlock(text.view(), &AllocateExactBlock);
  memory.release(text.block);
  if (block == nullptr) return std::nullopt;
  std::string json(block);
  std::free(block);
  return json;
}

// LinesJsonOf the bytes, read as the loader reads a file of that length.
inline std::optional<std::string> LinesJsonOf(std::string_view bytes) {
  ChunkedInput input{bytes};
  return LinesJsonOf(input, bytes.size());
}
