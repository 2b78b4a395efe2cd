// Runs both loader pipelines with the Nth allocation failing, for every N
// until a run makes fewer than N allocations: each failing run must end in
// std::bad_alloc (a null result at the entry point) with every allocation
// given back, and the run that sees no failure must give the right text.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <new>
#include <string>
#include <string_view>

#include "json_check.h"
#include "loader_pipelines.h"
#include "reference_text.h"

namespace {

// Allocations through operator new since the last Arm(), which one is to
// fail (0: none), whether it has, and how many blocks are live.
std::size_t gAllocations = 0;
std::size_t gFailAt = 0;
bool gFailed = false;
long gLive = 0;

void Arm(std::size_t failAt) {
  gAllocations = 0;
  gFailAt = failAt;
  gFailed = false;
}

void* Allocate(std::size_t size) {
  if (gFailAt != 0 && ++gAllocations == gFailAt) {
    gFailed = true;
    throw std::bad_alloc();
  }
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  ++gLive;
  return block;
}

void Release(void* block) {
  if (block == nullptr) return;
  --gLive;
  std::free(block);
}

}  // namespace

void* operator new(std::size_t size) {
  return Allocate(size);
}
void* operator new[](std::size_t size) {
  return Allocate(size);
}
void operator delete(void* block) noexcept {
  Release(block);
}
void operator delete[](void* block) noexcept {
  Release(block);
}
void operator delete(void* block, std::size_t) noexcept {
  Release(block);
}
void operator delete[](void* block, std::size_t) noexcept {
  Release(block);
}

namespace {

// Tables and files with enough entries and lines for the vectors and
// strings to grow several times, and with escapes, duplicates and comments.
std::string FxtInput() {
  std::string text = "; header\r\n";
  for (int i = 0; i < 40; ++i) {
    const std::string n = std::to_string(i * 7 % 40);
    text += "KEY_" + n + " value \"" + n + "\" a\\b\tc\r\n";
    if (i % 9 == 0) text += "# comment\r\n\r\n";
  }
  return text;
}

// Control bytes take six bytes each in JSON: the text outgrows its first
// reserve several times.
std::string LinesInput() {
  std::string text;
  for (int i = 0; i < 3000; ++i) {
    text += "line " + std::to_string(i) + std::string(16 + i % 16, '\x01') + " \"q\"\t\\\r\n";
  }
  return text;
}

template <typename Pipeline, typename CheckText>
void FailEveryAllocationInTurn(Pipeline pipeline, std::string_view input, CheckText checkText) {
  for (std::size_t failAt = 1;; ++failAt) {
    SCOPED_TRACE(failAt);
    const long liveBefore = gLive;
    bool threwBadAlloc = false;
    Arm(failAt);
    try {
      const Block block = pipeline(input);
    } catch (const std::bad_alloc&) {
      threwBadAlloc = true;
    }
    const bool failed = gFailed;
    EXPECT_EQ(gLive, liveBefore);

    Arm(failAt);
    const Block block = AtEntryPoint(pipeline, input);
    Arm(0);
    EXPECT_EQ(gLive, liveBefore);
    if (!failed) {
      ASSERT_NE(block, nullptr);
      checkText(std::string_view(block.get()));
      EXPECT_GT(failAt, 3u) << "the input must make the text grow";
      return;
    }
    EXPECT_TRUE(threwBadAlloc);
    EXPECT_EQ(block, nullptr);
  }
}

TEST(AllocationFailure, FxtPipeline) {
  const std::string input = FxtInput();
  FailEveryAllocationInTurn(FxtBlock, input, [&](std::string_view json) {
    EXPECT_EQ(json_check::ParseObject(json), reference::FxtEntries(input)) << json;
  });
}

TEST(AllocationFailure, LinesPipeline) {
  const std::string input = LinesInput();
  FailEveryAllocationInTurn(LinesBlock, input, [&](std::string_view json) {
    EXPECT_EQ(json, reference::JsonLinesText(input));
  });
}

}  // namespace
