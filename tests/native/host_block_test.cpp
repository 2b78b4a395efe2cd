#include <gtest/gtest.h>

#include <cstdint>

#include "host_block.h"

namespace {

// AllocMem takes a 32-bit size, so the longest text that fits is one byte
// short of 4 GiB: its NUL takes the last byte.
TEST(FitsHostBlock, TextAndNulWithinA32BitSize) {
  EXPECT_TRUE(FitsHostBlock(0));
  EXPECT_TRUE(FitsHostBlock(UINT32_MAX - 1));
  EXPECT_FALSE(FitsHostBlock(UINT32_MAX));
  if constexpr (SIZE_MAX > UINT32_MAX) {
    EXPECT_FALSE(FitsHostBlock(std::size_t{UINT32_MAX} + 1));
    EXPECT_FALSE(FitsHostBlock(SIZE_MAX));
  }
}

}  // namespace
