// The FXT loader's core on arbitrary bytes: the UTF-8 verdict agrees with a
// plain decoder, and the JSON object text is exactly the reference's, null
// where the reference finds the bytes not UTF-8 or without an entry.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "fxt_block.h"
#include "fxt_json.h"
#include "reference_text.h"
#include "utf8.h"

namespace {

// The result as a text; the block holds exactly the text and its zero byte,
// and there is none without a result.
std::optional<std::string> JsonOf(std::string_view file) {
  const FxtBlock result = FxtJsonBlock(file);
  FUZZ_CHECK(result.blockSize == (result.json ? result.json->size() + 1 : 0u));
  return result.json;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  FUZZ_CHECK(IsValidUtf8(bytes) == reference::IsValidUtf8(bytes));
  FUZZ_CHECK(JsonOf(bytes) == reference::FxtJson(bytes));
  return 0;
}
