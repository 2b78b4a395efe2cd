// Any bytes, escaped as the host simulator prints a string, stay on one field
// of one line and read back as the same bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "value_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string escaped = orvo_tools::EscapeText(text);
  FUZZ_CHECK(escaped.find_first_of("\t\r\n") == std::string::npos);
  std::string read;
  FUZZ_CHECK(orvo_tools::UnescapeText(escaped, read).empty() && read == text);
  return 0;
}
