// UTF-8 validation and its error offset against a plain decoder, and the White_Space helpers
// against matching whole characters, on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "os_error_text.h"
#include "reference_text.h"
#include "utf8.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  FUZZ_CHECK(IsValidUtf8(bytes) == reference::IsValidUtf8(bytes));
  // Everything before the error offset is UTF-8, and no character starts there.
  const std::size_t error = Utf8ErrorOffset(bytes);
  FUZZ_CHECK(error <= bytes.size() && reference::IsValidUtf8(bytes.substr(0, error)));
  for (std::size_t length = 1; length <= 4 && error + length <= bytes.size(); ++length) {
    FUZZ_CHECK(!reference::IsValidUtf8(bytes.substr(error, length)));
  }
  FUZZ_CHECK(LeadingWhiteSpaceLength(bytes) == reference::LeadingWhiteSpace(bytes));
  FUZZ_CHECK(TrailingWhiteSpaceLength(bytes) == reference::TrailingWhiteSpace(bytes));

  // Trimming keeps a prefix that does not end in White_Space and removes
  // nothing but whole White_Space characters.
  std::string trimmed(bytes);
  TrimTrailingWhiteSpace(trimmed);
  FUZZ_CHECK(bytes.starts_with(trimmed));
  FUZZ_CHECK(reference::TrailingWhiteSpace(trimmed) == 0);
  std::string_view removed = bytes.substr(trimmed.size());
  while (const std::size_t length = reference::LeadingWhiteSpace(removed)) {
    removed.remove_prefix(length);
  }
  FUZZ_CHECK(removed.empty());
  return 0;
}
