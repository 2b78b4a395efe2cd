#include "json_escape.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

using namespace std::string_literals;

namespace {

// What each byte becomes inside a JSON string, written from the rules rather
// than from the escape table.
std::string ExpectedEscape(unsigned char byte) {
  switch (byte) {
    case 0x08:
      return "\\b";
    case 0x09:
      return "\\t";
    case 0x0A:
      return "\\n";
    case 0x0C:
      return "\\f";
    case 0x0D:
      return "\\r";
    case 0x22:
      return "\\\"";
    case 0x5C:
      return "\\\\";
  }
  if (byte < 0x20) {
    char form[7];
    std::snprintf(form, sizeof form, "\\u%04x", byte);
    return form;
  }
  return std::string(1, static_cast<char>(byte));
}

TEST(EscapeJsonString, EveryByteAloneAndAllTogether) {
  std::string everyByte;
  std::string expectedAll;
  for (int value = 0; value < 256; ++value) {
    const char byte = static_cast<char>(value);
    std::string out;
    EscapeJsonString(std::string_view(&byte, 1), out);
    EXPECT_EQ(out, ExpectedEscape(static_cast<unsigned char>(value))) << "byte " << value;
    everyByte += byte;
    expectedAll += ExpectedEscape(static_cast<unsigned char>(value));
  }
  std::string out;
  EscapeJsonString(everyByte, out);
  EXPECT_EQ(out, expectedAll);
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

}  // namespace
