#include "value_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace {

using orvo_tools::EscapeText;
using orvo_tools::ParseFloat;
using orvo_tools::ParseInteger;
using orvo_tools::UnescapeText;
using orvo_tools::ValueText;

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNan = std::numeric_limits<float>::quiet_NaN();
constexpr float kDenormMin = std::numeric_limits<float>::denorm_min();

// Same float, bit for bit (so -0 is not 0); any NaN matches any NaN.
void ExpectSameFloat(float actual, float expected, const std::string& text) {
  if (std::isnan(expected))
    EXPECT_TRUE(std::isnan(actual)) << text;
  else
    EXPECT_EQ(std::bit_cast<std::uint32_t>(actual), std::bit_cast<std::uint32_t>(expected))
        << text << " read as " << actual;
}

TEST(EscapeText, EveryByteStaysOnOneFieldAndReadsBack) {
  for (int byte = 0; byte < 256; ++byte) {
    const char c = static_cast<char>(byte);
    // Alone (a leading byte, where "@" is doubled), and between others.
    for (const std::string& text : {std::string(1, c), "x" + std::string(1, c) + c + "y"}) {
      const std::string escaped = EscapeText(text);
      EXPECT_EQ(escaped.find_first_of("\t\r\n"), std::string::npos) << "byte " << byte;
      std::string read;
      EXPECT_EQ(UnescapeText(escaped, read), "") << "byte " << byte;
      EXPECT_EQ(read, text) << "byte " << byte;
    }
  }
}

TEST(EscapeText, WritesEachEscapeAndReadsItBack) {
  struct Case {
    std::string text;
    std::string escaped;
  };
  const Case kCases[] = {
      {"", ""},
      {"\t", "\\t"},
      {"\r", "\\r"},
      {"\n", "\\n"},
      {"\\", "\\\\"},
      {"1\tflag:0", "1\\tflag:0"},
      {"C:\\dir\\n", "C:\\\\dir\\\\n"},
      {"\\t", "\\\\t"},
      {"line\r\nnext", "line\\r\\nnext"},
      {"@", "@@"},
      {"@home", "@@home"},
      {"@@", "@@@"},
      {"@1", "@@1"},
      {"mail@host", "mail@host"},
      {"\t@", "\\t@"},
      {std::string("a\0b", 3), std::string("a\0b", 3)},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(EscapeText(c.text), c.escaped);
    std::string read;
    EXPECT_EQ(UnescapeText(c.escaped, read), "") << c.escaped;
    EXPECT_EQ(read, c.text) << c.escaped;
  }
}

TEST(UnescapeText, RefusesUnknownEscapesATrailingBackslashAndRawLineBreaks) {
  for (const char* escaped :
       {"\\q", "a\\qb", "\\T", "\\N", "\\0", "\\x41", "\\ ", "\\@", "\\\t", "\\", "abc\\", "\\\\\\",
        "a\rb", "a\nb", "\r", "\n", "\\n\n", "@@\\"}) {
    std::string read;
    EXPECT_NE(UnescapeText(escaped, read), "") << escaped;
  }
  std::string read;
  EXPECT_NE(UnescapeText("a\\qb", read).find("\\q"), std::string::npos);
}

TEST(ParseFloat, TakesEveryValueAFloatHolds) {
  struct Case {
    const char* text;
    float value;
  };
  const Case kCases[] = {
      {"2.5", 2.5f},
      {"-1e3", -1000.0f},
      {"0x1p-3", 0.125f},
      {"0.1", 0.1f},
      {"3.4028235e38", FLT_MAX},
      {"-3.4028235e38", -FLT_MAX},
      // Just below halfway to the next power of two: still rounds to FLT_MAX.
      {"3.4028235677e38", FLT_MAX},
      {"0x1.fffffep127", FLT_MAX},
      {"1.17549435e-38", FLT_MIN},
      {"1e-40", 1e-40f},
      {"-1e-40", -1e-40f},
      {"1.4e-45", kDenormMin},
      // Above half the smallest denormal, so it rounds up to it.
      {"8e-46", kDenormMin},
      {"0x1p-149", kDenormMin},
      {"0", 0.0f},
      {"-0", -0.0f},
      {"0.000", 0.0f},
      {"0e999", 0.0f},
      {"-0e-999", -0.0f},
      {"0x0p3", 0.0f},
      {"inf", kInf},
      {"-inf", -kInf},
      {"Infinity", kInf},
      {"INF", kInf},
      {"nan", kNan},
      {"-nan", kNan},
  };
  for (const Case& c : kCases) {
    float value = 12345.0f;
    EXPECT_EQ(ParseFloat(c.text, value), "") << c.text;
    ExpectSameFloat(value, c.value, c.text);
  }
}

TEST(ParseFloat, RefusesWhatAFloatCannotHoldAndWhatIsNoNumber) {
  for (const char* text :
       {// Beyond the range: the float would be infinite.
        "1e40", "-1e40", "3.4028236e38", "3.40282357e38", "0x1p128", "1e999999",
        // Nonzero, but the float would hold 0.
        "1e-50", "-1e-50", "7e-46", "0x1p-150", "0.0001e-45", "1e-999999",
        // No number.
        "", " 1", "1 ", "\t1", "1\n", "1x", "x", "1,5", "0x", "1e", "--1", "in", "nanx", "f:1"}) {
    float value = 0;
    EXPECT_NE(ParseFloat(text, value), "") << text;
  }
}

TEST(ParseInteger, TakesDecimalIntegersOfThe32BitRange) {
  struct Case {
    const char* text;
    std::int32_t value;
  };
  static constexpr Case kCases[] = {
      {"0", 0},
      {"42", 42},
      {"-7", -7},
      {"+3", 3},
      {"-0", 0},
      {"010", 10},
      {"2147483647", INT32_MAX},
      {"-2147483648", INT32_MIN},
  };
  for (const Case& c : kCases) {
    std::int32_t value = 12345;
    EXPECT_EQ(ParseInteger(c.text, value), "") << c.text;
    EXPECT_EQ(value, c.value) << c.text;
  }
}

TEST(ParseInteger, RefusesAnythingElse) {
  for (const char* text :
       {"12x", "", " 1", "1 ", "\t1", "1\n", "-", "+", "--1", "1.0", "1e3", "0x10", "2147483648",
        "-2147483649", "4294967296", "99999999999999999999", "-99999999999999999999"}) {
    std::int32_t value = 0;
    EXPECT_NE(ParseInteger(text, value), "") << text;
  }
}

// An output, as printed, reads back as an argument holding the same value.
TEST(ValueText, PrintsOutputsThatReadBackAsArguments) {
  struct Case {
    TeskValue value;
    const char* text;
  };
  const Case kCases[] = {
      {{'i', 42, 0, nullptr}, "i:42"},
      {{'i', INT32_MIN, 0, nullptr}, "i:-2147483648"},
      {{'i', INT32_MAX, 0, nullptr}, "i:2147483647"},
      {{'f', 0, 2.5f, nullptr}, "f:2.5"},
      {{'f', 0, 0.1f, nullptr}, "f:0.1"},
      {{'f', 0, -0.0f, nullptr}, "f:-0"},
      {{'f', 0, FLT_MAX, nullptr}, "f:3.4028235e+38"},
      {{'f', 0, -FLT_MAX, nullptr}, "f:-3.4028235e+38"},
      {{'f', 0, FLT_MIN, nullptr}, "f:1.1754944e-38"},
      {{'f', 0, kDenormMin, nullptr}, "f:1e-45"},
      {{'f', 0, kInf, nullptr}, "f:inf"},
      {{'f', 0, -kInf, nullptr}, "f:-inf"},
      {{'f', 0, kNan, nullptr}, "f:nan"},
      {{'s', 0, 0, ""}, "s:"},
      {{'s', 0, 0, "1\tflag:0"}, "s:1\\tflag:0"},
      {{'s', 0, 0, "@home"}, "s:@@home"},
      {{'s', 0, 0, "C:\\a\r\n"}, "s:C:\\\\a\\r\\n"},
  };
  for (const Case& c : kCases) {
    const std::string text = ValueText(c.value);
    EXPECT_EQ(text, c.text);
    const std::string argument = text.substr(2);
    if (c.value.kind == 'i') {
      std::int32_t i = 0;
      EXPECT_EQ(ParseInteger(argument, i), "") << text;
      EXPECT_EQ(i, c.value.i) << text;
    } else if (c.value.kind == 'f') {
      float f = 12345.0f;
      EXPECT_EQ(ParseFloat(argument, f), "") << text;
      ExpectSameFloat(f, c.value.f, text);
    } else {
      std::string s;
      EXPECT_EQ(UnescapeText(argument, s), "") << text;
      EXPECT_EQ(s, c.value.s) << text;
    }
  }
}

TEST(WindowsPath, NamesLinuxAbsolutePathsThroughTheZDrive) {
  struct Case {
    const char* path;
    const char* windows;
  };
  static constexpr Case kCases[] = {
      {"/", "Z:\\"},
      {"/tmp/a b/x.fxt", "Z:\\tmp\\a b\\x.fxt"},
      {"relative/x.fxt", "relative/x.fxt"},
      {"C:\\dir\\x.fxt", "C:\\dir\\x.fxt"},
      {"", ""},
  };
  for (const Case& c : kCases) EXPECT_EQ(orvo_tools::WindowsPath(c.path), c.windows) << c.path;
}

}  // namespace
