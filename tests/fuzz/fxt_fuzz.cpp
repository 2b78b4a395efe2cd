// The FXT loader's pipeline on arbitrary bytes: the UTF-8 verdict agrees with
// a plain decoder, and the JSON object in the host's block is valid, its keys
// unique and ascending by unsigned bytes, and exactly the entries the rules
// give.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_check.h"
#include "json_check.h"
#include "loader_pipelines.h"
#include "reference_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const bool valid = IsValidUtf8(bytes);
  FUZZ_CHECK(valid == reference::IsValidUtf8(bytes));
  const Block block = FxtBlock(bytes);
  if (!valid) {
    FUZZ_CHECK(block == nullptr);
    return 0;
  }
  const auto expected = reference::FxtEntries(bytes);
  if (expected.empty()) {
    FUZZ_CHECK(block == nullptr);
    return 0;
  }
  FUZZ_CHECK(block != nullptr);
  // Every control byte is escaped, so the text ends at the block's zero.
  const auto members = json_check::ParseObject(block.get());
  FUZZ_CHECK(members.has_value());
  for (std::size_t i = 1; i < members->size(); ++i) {
    FUZZ_CHECK(reference::UnsignedLess()((*members)[i - 1].first, (*members)[i].first));
  }
  FUZZ_CHECK(*members == expected);
  return 0;
}
