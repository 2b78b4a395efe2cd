// The loaders' core functions with memory running out: every allocation
// failing in turn, and allocations above a size failing. Linvar's core
// allocates through operator new, the FXT core through core_memory.h, whose
// functions this program defines in place of the C runtime's.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "chunked_input.h"
#include "core_memory.h"
#include "fxt_json.h"
#include "lines_json.h"
#include "reference_text.h"
#include "text_lines.h"

namespace {

// Allocations since the last Arm(), which one is to fail (0: none), whether
// it has, the largest that may succeed, and how many blocks are live.
std::size_t gAllocations = 0;
std::size_t gFailAt = 0;
bool gFailed = false;
std::size_t gLargest = SIZE_MAX;
long gLive = 0;

void Arm(std::size_t failAt) {
  gAllocations = 0;
  gFailAt = failAt;
  gFailed = false;
}

// The next block, or null when it is the one to fail.
void* TryAllocate(std::size_t size) {
  if ((gFailAt != 0 && ++gAllocations == gFailAt) || size > gLargest) {
    gFailed = true;
    return nullptr;
  }
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block != nullptr) ++gLive;
  return block;
}

void* Allocate(std::size_t size) {
  void* block = TryAllocate(size);
  if (block == nullptr) throw std::bad_alloc();
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
void* CoreAllocate(std::size_t size) noexcept {
  return TryAllocate(size);
}
void CoreRelease(void* block) noexcept {
  Release(block);
}

namespace {

// Tables and files with enough entries and lines for the vectors and
// strings to grow several times and for FxtJson to sort with room beside its
// records, and with escapes, duplicates and comments.
std::string FxtInput() {
  std::string text = "; header\r\n";
  for (int i = 0; i < 80; ++i) {
    const std::string n = std::to_string(i * 7 % 40);
    text += "KEY_" + n + " value \"" + n + "\" a\\b\tc\r\n";
    if (i % 9 == 0) text += "# comment\r\n\r\n";
  }
  return text;
}

// Longer than the first block the text falls back to, and with control
// bytes, which take six bytes each in JSON.
std::string LinesInput() {
  std::string text;
  for (int i = 0; i < 3000; ++i) {
    text += "line " + std::to_string(i) + std::string(16 + i % 16, '\x01') + " \"q\"\t\\\r\n";
  }
  return text;
}

// Runs core with the Nth allocation failing, for every N until a run makes
// fewer than N allocations: each failing run must end in std::bad_alloc with
// every allocation given back, and the run that sees no failure must give
// the expected text.
template <typename Core>
void FailEveryAllocationInTurn(Core core, const std::string& expected) {
  for (std::size_t failAt = 1;; ++failAt) {
    SCOPED_TRACE(failAt);
    const long liveBefore = gLive;
    std::optional<std::string> json;
    bool threwBadAlloc = false;
    Arm(failAt);
    try {
      json = core();
    } catch (const std::bad_alloc&) {
      threwBadAlloc = true;
    }
    const bool failed = gFailed;
    Arm(0);
    EXPECT_EQ(threwBadAlloc, failed);
    EXPECT_EQ(json, failed ? std::nullopt : std::optional<std::string>(expected));
    json.reset();
    EXPECT_EQ(gLive, liveBefore);
    if (!failed) return;
  }
}

// The host's block, counted with the rest.
void* HostBlock(std::uint32_t size) {
  return TryAllocate(size);
}

// FxtJson throws nothing (it is noexcept): each failing run gives null, and
// the run that sees no failure the expected text.
TEST(AllocationFailure, FxtJson) {
  const std::string input = FxtInput();
  const std::string expected = *reference::FxtJson(input);
  for (std::size_t failAt = 1;; ++failAt) {
    SCOPED_TRACE(failAt);
    const long liveBefore = gLive;
    Arm(failAt);
    char* const block = FxtJson(input, &HostBlock);
    const bool failed = gFailed;
    Arm(0);
    EXPECT_EQ(block == nullptr, failed);
    if (block != nullptr) {
      EXPECT_EQ(std::string(block), expected);
      Release(block);
    }
    EXPECT_EQ(gLive, liveBefore);
    if (!failed) return;
  }
}

// The line loader's text memory: which allocation is to fail (0: none),
// whether every later one fails too, whether one has, and how many blocks
// are live. The core allocates nothing else.
std::size_t gTextAllocations = 0;
std::size_t gTextFailAt = 0;
bool gTextFailOnwards = false;
bool gTextFailed = false;
long gTextLive = 0;

void ArmText(std::size_t failAt, bool onwards) {
  gTextAllocations = 0;
  gTextFailAt = failAt;
  gTextFailOnwards = onwards;
  gTextFailed = false;
}

void* AllocateText(std::size_t size) {
  ++gTextAllocations;
  const bool fail = gTextFailAt != 0 && (gTextAllocations == gTextFailAt ||
                                         (gTextFailOnwards && gTextAllocations > gTextFailAt));
  if (fail || size > gLargest) {
    gTextFailed = true;
    return nullptr;
  }
  void* const block = std::malloc(size);
  if (block != nullptr) ++gTextLive;
  return block;
}

void ReleaseText(void* block) {
  if (block != nullptr) --gTextLive;
  std::free(block);
}

constexpr TextMemory kCountedText = {&AllocateText, &ReleaseText};

// The loader's core, from reading the bytes to the host's block, with the
// Nth allocation of the text failing, for every N until a run makes fewer
// than N: it throws nothing, makes no allocation but the text's, and gives
// every block back. When memory runs out for good (every later allocation
// failing too) it gives null; one failure alone may be made up for by a
// smaller block, and then the text is exact.
TEST(AllocationFailure, LinesJson) {
  const std::string input = LinesInput();
  const std::string expected = reference::LinesJson(input);
  for (std::size_t failAt = 1;; ++failAt) {
    bool anyFailed = false;
    for (const bool onwards : {false, true}) {
      SCOPED_TRACE(testing::Message() << "failing " << failAt << (onwards ? " on" : ""));
      ChunkedInput chunked{input};
      Arm(SIZE_MAX);  // counts operator new, fails none
      ArmText(failAt, onwards);
      const TextModeText text =
          ReadTextModeText(input.size(), &ReadChunkFrom, &chunked, kCountedText);
      char* const block =
          text.block == nullptr ? nullptr : LinesJsonBlock(text.view(), &AllocateExactBlock);
      if (text.block != nullptr) ReleaseText(text.block);
      const std::size_t operatorNewCalls = gAllocations;
      Arm(0);
      EXPECT_EQ(operatorNewCalls, 0u) << "operator new on the loader's path";
      const std::optional<std::string> json =
          block == nullptr ? std::nullopt : std::optional<std::string>(block);
      std::free(block);
      EXPECT_EQ(gTextLive, 0);
      anyFailed = anyFailed || gTextFailed;
      if (gTextFailed && onwards) {
        EXPECT_EQ(json, std::nullopt);
      } else if (!gTextFailed || json) {
        EXPECT_EQ(json, expected);
      }
    }
    ArmText(0, false);
    if (!anyFailed) return;
  }
}

// Memory that gives no block of 64 MiB, as a 32-bit process's may not: a
// file's length beyond it must not keep a text that ends early, or fits in
// what memory there is, from loading.
TEST(AllocationFailure, LongFileWithShortTextNeedsNoLargeBlock) {
  const std::string lines = LinesInput();
  const struct {
    std::string input;
    std::string json;
  } cases[] = {
      {"\x1a" + lines, "[]"},
      {"a\r\nb\x1a" + lines, R"(["a","b"])"},
      {lines, reference::LinesJson(lines)},
  };
  gLargest = std::size_t{64} << 20;
  for (const auto& c : cases) {
    for (const std::uint64_t length : {std::uint64_t{600} << 20, std::uint64_t{5} << 30}) {
      ChunkedInput chunked{c.input};
      EXPECT_EQ(LinesJsonOf(chunked, length, kCountedText), c.json) << length;
      EXPECT_EQ(gTextLive, 0);
    }
  }
  gLargest = SIZE_MAX;
}

}  // namespace
