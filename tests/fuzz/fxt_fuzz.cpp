// The FXT loader's core on arbitrary bytes: the UTF-8 verdict agrees with a
// plain decoder, and the JSON object text is exactly the reference's, null
// where the reference finds the bytes not UTF-8 or without an entry.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "fxt_json.h"
#include "reference_text.h"
#include "utf8.h"

namespace {

// The size FxtJson last asked its block for, 0 when it asked none.
std::uint32_t gBlockSize = 0;

void* MallocBlock(std::uint32_t size) {
  gBlockSize = size;
  return std::malloc(size);
}

// The result as a text; the block holds exactly the text and its zero byte,
// and there is none without a result.
std::optional<std::string> JsonOf(std::string_view file) {
  gBlockSize = 0;
  char* const block = FxtJson(file, &MallocBlock);
  if (block == nullptr) {
    FUZZ_CHECK(gBlockSize == 0);
    return std::nullopt;
  }
  std::string json(block);
  std::free(block);
  FUZZ_CHECK(gBlockSize == json.size() + 1);
  return json;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  FUZZ_CHECK(IsValidUtf8(bytes) == reference::IsValidUtf8(bytes));
  FUZZ_CHECK(JsonOf(bytes) == reference::FxtJson(bytes));
  return 0;
}
