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

void* MallocBlock(std::uint32_t size) {
  return std::malloc(size);
}

std::optional<std::string> JsonOf(std::string_view file) {
  char* const block = FxtJson(file, &MallocBlock);
  if (block == nullptr) return std::nullopt;
  std::string json(block);
  std::free(block);
  return json;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  FUZZ_CHECK(IsValidUtf8(bytes) == reference::IsValidUtf8(bytes));
  FUZZ_CHECK(JsonOf(bytes) == reference::FxtJson(bytes));
  return 0;
}
