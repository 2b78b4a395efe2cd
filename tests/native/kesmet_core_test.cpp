#include "ini_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <string>

#include "float_texts.h"

namespace {

TEST(FormatIniInt, DecimalText) {
  struct Case {
    std::int32_t value;
    const char* text;
  };
  static constexpr Case kCases[] = {
      {0, "0"},
      {7, "7"},
      {-1, "-1"},
      {1000000, "1000000"},
      {-305419896, "-305419896"},
      {std::numeric_limits<std::int32_t>::max(), "2147483647"},
      {std::numeric_limits<std::int32_t>::min(), "-2147483648"},
  };
  for (const Case& c : kCases) {
    char buffer[12];
    std::memset(buffer, 'x', sizeof buffer);
    const std::size_t length = FormatIniInt(c.value, buffer);
    EXPECT_STREQ(buffer, c.text);
    EXPECT_EQ(length, std::strlen(c.text)) << c.text;
  }
}

// The units written by FormatIniFloat up to its terminator, each checked to
// be ASCII, as a narrow string.
std::string FormattedFloat(float value) {
  Utf16Unit buffer[128];
  std::fill(std::begin(buffer), std::end(buffer), Utf16Unit{0x4242});
  FormatIniFloat(value, buffer);
  std::string text;
  for (const Utf16Unit unit : buffer) {
    if (unit == 0) return text;
    EXPECT_LT(unit, 0x80);
    text += static_cast<char>(unit);
  }
  ADD_FAILURE() << "no terminator";
  return text;
}

TEST(FormatIniFloat, WritesWhatC99PrintfGWrites) {
  for (const FloatText& c : kFloatTexts) EXPECT_EQ(FormattedFloat(c.value), c.text) << c.text;
}

TEST(Utf16UnitsFittingUtf8, CutsOnCharacterBoundaries) {
  const std::u16string ascii125(125, u'a');
  struct Case {
    const char* name;
    std::u16string text;
    std::size_t maxBytes;
    std::size_t units;
  };
  const Case kCases[] = {
      {"empty", u"", 127, 0},
      {"empty, no room", u"", 0, 0},
      {"no room", u"a", 0, 0},
      {"127 ASCII", std::u16string(127, u'a'), 127, 127},
      {"128 ASCII", std::u16string(128, u'a'), 127, 127},
      {"stops at the terminator", std::u16string(u"ab\0cd", 5), 127, 2},
      {"127 euro signs", std::u16string(127, u'\u20ac'), 127, 42},
      {"euro signs, exactly met", std::u16string(5, u'\u20ac'), 9, 3},
      {"two-byte characters", std::u16string(10, u'\u00e9'), 7, 3},
      {"one-byte and two-byte edges", u"\u007f\u0080\u07ff\u0800", 5, 3},
      {"three-byte edge", u"\u0800\uffff", 5, 1},
      {"pair straddling the cut", ascii125 + u"\U0001F600", 127, 125},
      {"pair exactly met", ascii125.substr(2) + u"\U0001F600", 127, 125},
      {"pair, no room for all four", u"\U0001F600", 3, 0},
      {"unpaired high at the end", u"a\xd800", 4, 2},
      {"unpaired high, no room", u"a\xd800", 3, 1},
      {"unpaired high before a non-low",
       u"\xd800"
       u"a",
       4, 2},
      {"high before a pair", u"\xd800\xd800\xdc00", 6, 1},
      {"high before a pair, both fit", u"\xd800\xd800\xdc00", 7, 3},
      {"high before U+E000", u"\xd800\xe000", 5, 1},
      {"unpaired low",
       u"\xdc00"
       u"a",
       4, 2},
      {"two lows", u"\xdc00\xdc00", 5, 1},
      {"highest pair", u"\U0010FFFF", 4, 2},
      {"low then high: two unpaired", u"\xdc00\xd800", 5, 1},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(Utf16UnitsFittingUtf8(c.text.c_str(), c.maxBytes), c.units) << c.name;
  }
}

}  // namespace
