// The host's AllocMem takes a 32-bit size.
#pragma once

#include <cstddef>
#include <cstdint>

// True when a result text of this length fits, with its terminating NUL, in
// one AllocMem block.
constexpr bool FitsHostBlock(std::size_t textLength) {
  return textLength < UINT32_MAX;
}
