#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "host_block.h"
#include "json_escape.h"
#include "reference_text.h"

using namespace std::string_literals;

namespace {

// What the reference writes between the quotes of a JSON string.
std::string ReferenceEscaped(std::string_view text) {
  const std::string json = reference::JsonString(text);
  return json.substr(1, json.size() - 2);
}

TEST(EscapeJsonString, EveryByteAloneAndAllTogether) {
  std::string everyByte;
  for (int value = 0; value < 256; ++value) {
    const char byte = static_cast<char>(value);
    std::string out;
    EscapeJsonString(std::string_view(&byte, 1), out);
    EXPECT_EQ(out, ReferenceEscaped(std::string_view(&byte, 1))) << "byte " << value;
    everyByte += byte;
  }
  std::string out;
  EscapeJsonString(everyByte, out);
  EXPECT_EQ(out, ReferenceEscaped(everyByte));
}

TEST(EscapeJsonString, KeepsRunsInOrderAndAppends) {
  const struct {
    std::string before;
    std::string text;
    std::string expected;
  } cases[] = {
      {"", "", ""},
      {"", "plain/text \x7F\xC3\xA9", "plain/text \x7F\xC3\xA9"},
      {"", "\"quoted\" a\\b\r\n", "\\\"quoted\\\" a\\\\b\\r\\n"},
      {"",
       "ab\x0B"
       "cd\x1B"
       "ef\0gh"s,
       "ab\\u000bcd\\u001bef\\u0000gh"},
      {"", "\t\t\x01", "\\t\\t\\u0001"},
      {"{\"k\":\"", "x\ty", "{\"k\":\"x\\ty"},
  };
  for (const auto& c : cases) {
    std::string out = c.before;
    EscapeJsonString(c.text, out);
    EXPECT_EQ(out, c.expected) << "text " << testing::PrintToString(c.text);
  }
}

// AllocMem takes a 32-bit size, so the longest text that fits is one byte
// short of 4 GiB: its NUL takes the last byte.
TEST(FitsHostBlock, TextAndNulWithinA32BitSize) {
  EXPECT_TRUE(FitsHostBlock(0));
  EXPECT_TRUE(FitsHostBlock(UINT32_MAX - 1));
  EXPECT_FALSE(FitsHostBlock(UINT32_MAX));
  if constexpr (SIZE_MAX > UINT32_MAX) {
    EXPECT_FALSE(FitsHostBlock(std::size_t{UINT32_MAX} + 1));
    EXPECT_FALSE(FitsHostBlock(SIZE_MAX));
  }
}

}  // namespace
