// The line loader's pipeline on arbitrary bytes, and the same bytes fed in
// random chunks: both give the reference text, a valid JSON array of exactly
// the lines the text-mode rules give. The first four bytes seed the chunking.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "json_check.h"
#include "loader_pipelines.h"
#include "reference_text.h"
#include "text_lines.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::uint32_t seed = 0;
  const std::size_t seedSize = size < sizeof seed ? size : sizeof seed;
  std::memcpy(&seed, data, seedSize);
  const std::string_view text(reinterpret_cast<const char*>(data) + seedSize, size - seedSize);

  const std::string expected = reference::JsonLinesText(text);
  const Block block = LinesBlock(text);
  FUZZ_CHECK(block != nullptr);
  // Every control byte is escaped, so the text ends at the block's zero.
  FUZZ_CHECK(std::string_view(block.get()) == expected);
  FUZZ_CHECK(json_check::ParseArray(expected) == reference::TextLines(text));

  // Chunks of up to 17 bytes, empty ones included, fed even after the input
  // has ended, into a text that starts without reserve and has to grow.
  JsonLines lines;
  BeginJsonLines(lines, 0);
  std::minstd_rand random(seed);
  bool ended = false;
  for (std::size_t at = 0; at < text.size();) {
    const std::string_view chunk = text.substr(at, random() % 18);
    ended = ended || chunk.find('\x1a') != std::string_view::npos;
    FUZZ_CHECK(AppendJsonLines(lines, chunk) == !ended);
    at += chunk.size();
  }
  FinishJsonLines(lines);
  FUZZ_CHECK(lines.json == expected);
  return 0;
}
