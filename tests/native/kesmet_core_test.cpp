#include "ini_text.h"

#include <gtest/gtest.h>

#include <charconv>

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <limits>
#include <random>
#include <string>

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
std::string FloatText(float value) {
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

// "%.6g" by an independent, exactly rounding implementation.
std::string ReferenceText(float value) {
  char text[64];
  const char* const end = std::to_chars(text, text + sizeof text, static_cast<double>(value),
                                        std::chars_format::general, 6)
                              .ptr;
  return std::string(text, static_cast<std::size_t>(end - text));
}

TEST(FormatIniFloat, WritesWhatC99PrintfGWrites) {
  struct Case {
    float value;
    const char* text;
  };
  const Case kCases[] = {
      {100000.0f, "100000"},
      {1000000.0f, "1e+06"},
      {1234567.0f, "1.23457e+06"},
      {0.1f, "0.1"},
      {0.00001f, "1e-05"},
      {0.0001f, "0.0001"},
      {123456.5f, "123456"},
      {123457.5f, "123458"},
      {-2.5f, "-2.5"},
      {0.0f, "0"},
      {-0.0f, "-0"},
      {std::numeric_limits<float>::infinity(), "inf"},
      {-std::numeric_limits<float>::infinity(), "-inf"},
      {std::numeric_limits<float>::quiet_NaN(), "nan"},
      {-std::numeric_limits<float>::quiet_NaN(), "-nan"},
      {FLT_MAX, "3.40282e+38"},
      {FLT_TRUE_MIN, "1.4013e-45"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(FloatText(c.value), c.text);
  }
}

TEST(FormatIniFloat, RandomBitPatternsMatchAnExactReference) {
  std::mt19937 random(1989);
  for (int round = 0; round < 300000; ++round) {
    const float value = std::bit_cast<float>(static_cast<std::uint32_t>(random()));
    ASSERT_EQ(FloatText(value), ReferenceText(value)) << std::bit_cast<std::uint32_t>(value);
  }
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
