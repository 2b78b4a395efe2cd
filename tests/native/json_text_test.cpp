// The JSON string writer of the FXT loader, written into buffers of exactly
// the length it announces (AddressSanitizer catches a byte beyond).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>

#include "fxt_json.h"
#include "reference_text.h"

using namespace std::string_literals;

namespace {

std::string Written(std::string_view text) {
  const std::size_t length = JsonStringLength(text);
  const std::unique_ptr<char[]> buffer(new char[length]);
  const char* const end = WriteJsonString(text, buffer.get());
  EXPECT_EQ(end, buffer.get() + length) << testing::PrintToString(std::string(text));
  return std::string(buffer.get(), static_cast<std::size_t>(end - buffer.get()));
}

TEST(WriteJsonString, EveryByteAloneAndAllTogether) {
  std::string everyByte;
  for (int value = 0; value < 256; ++value) {
    const char byte = static_cast<char>(value);
    EXPECT_EQ(Written(std::string_view(&byte, 1)),
              reference::JsonString(std::string_view(&byte, 1)))
        << "byte " << value;
    everyByte += byte;
  }
  // Behind every offset within a sixteen-byte step, and as that step's tail.
  for (std::size_t offset = 0; offset <= 16; ++offset) {
    const std::string text = std::string(offset, 'a') + everyByte + std::string(offset, '\x01');
    EXPECT_EQ(Written(text), reference::JsonString(text)) << offset;
  }
}

TEST(WriteJsonString, KeepsRunsInOrder) {
  const struct {
    std::string text;
    std::string expected;
  } cases[] = {
      {"", R"("")"},
      {"plain/text \x7F\xC3\xA9", "\"plain/text \x7F\xC3\xA9\""},
      {"\"quoted\" a\\b\r\n", R"("\"quoted\" a\\b\r\n")"},
      {"ab\x0B"
       "cd\x1B"
       "ef\0gh"s,
       R"("ab\u000bcd\u001bef\u0000gh")"},
      {"\t\t\x01", R"("\t\t\u0001")"},
      {"0123456789abcdef\"0123456789abcde\\", R"("0123456789abcdef\"0123456789abcde\\")"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Written(c.text), c.expected) << "text " << testing::PrintToString(c.text);
  }
}

}  // namespace
