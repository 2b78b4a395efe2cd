// Input for LinesJson from memory, handed out in chunks of sizes a test
// chooses, as a file's reads may come.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// LinesJson on the bytes, read as the loader reads a file of that length.
inline std::optional<std::string> LinesJsonOf(std::string_view bytes) {
  ChunkedInput input{bytes};
  return LinesJson(bytes.size(), &ReadChunkFrom, &input);
}
