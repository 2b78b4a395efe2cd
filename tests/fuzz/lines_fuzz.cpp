// The line loader's core on arbitrary bytes, read whole and in random chunks:
// both give the reference's JSON array of the text-mode lines, which are the
// lines ForEachTextLine visits, and no chunk after the one holding 0x1A is
// asked for. The first four bytes seed the chunk sizes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "chunked_input.h"
#include "fuzz_check.h"
#include "reference_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::uint32_t seed = 0;
  const std::size_t seedSize = size < sizeof seed ? size : sizeof seed;
  std::memcpy(&seed, data, seedSize);
  const std::string_view text(reinterpret_cast<const char*>(data) + seedSize, size - seedSize);

  const std::string expected = reference::LinesJson(text);
  FUZZ_CHECK(LinesJsonOf(text) == expected);
  std::vector<std::string> lines;
  ForEachTextLine(
      text.substr(0, TextModeLength(text)),
      [&lines](std::size_t, std::size_t, std::string_view line) { lines.emplace_back(line); });
  FUZZ_CHECK(reference::JsonArray(lines) == expected);

  // Chunks of 1 to 17 bytes, into a block sized for an empty file that has
  // to grow.
  std::minstd_rand random(seed);
  std::vector<std::size_t> sizes(8);
  for (std::size_t& chunk : sizes) chunk = 1 + random() % 17;
  ChunkedInput chunked{text, sizes};
  FUZZ_CHECK(LinesJsonOf(chunked, 0) == expected);
  FUZZ_CHECK(chunked.readsAfterEndOfText == 0);
  return 0;
}
