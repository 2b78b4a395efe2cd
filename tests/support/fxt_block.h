// FxtJson's result read back as a text, with the size of the block it asked
// for, for the native tests and the fuzz target.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "fxt_json.h"

struct FxtBlock {
  std::optional<std::string> json;  // nullopt for a null result
  std::uint32_t blockSize;          // 0 when no block was asked for
};

inline FxtBlock FxtJsonBlock(std::string_view file) {
  static thread_local std::uint32_t blockSize;
  blockSize = 0;
  char* const block = FxtJson(file, [](std::uint32_t size) -> void* {
    blockSize = size;
    return std::malloc(size);
  });
  if (block == nullptr) return {std::nullopt, blockSize};
  std::string json(block);
  std::free(block);
  return {std::move(json), blockSize};
}
