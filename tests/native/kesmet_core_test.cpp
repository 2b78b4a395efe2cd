#include "ini_rules.h"
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

TEST(IniWriteReadsBack, RefusesWhatTheReaderTakesForStructure) {
  struct Case {
    const char* name;
    std::u16string section, key, value;
    bool kept;
  };
  const Case kCases[] = {
      {"plain", u"s", u"k", u"v", true},
      {"empty everything", u"", u"", u"", true},
      {"blanks and quotes", u" s ", u" k ", u"  \"v\"  ", true},
      {"brackets inside a key", u"s", u"a[b]", u"v", true},
      {"comment marks inside", u"s", u"k;#", u";v#", true},
      {"# first", u"s", u"#k", u"v", true},
      {"= in section and value", u"a=b", u"k", u"x=y", true},
      {"[ in section and value", u"[s", u"k", u"[v]", true},
      {"no-break space, then [", u"s", u"\u00a0[k", u"v", false},
      {"value lines", u"user", u"name", u"ok\r\n[admin]\r\npassword=pwned", false},
      {"LF in the value", u"s", u"k", u"a\nb", false},
      {"CR in the key", u"s", u"k\r", u"v", false},
      {"LF in the section", u"\ns", u"k", u"v", false},
      {"= in the key", u"s", u"a=b", u"v", false},
      {"= ending the key", u"s", u"k=", u"v", false},
      {"[ first", u"s", u"[k", u"v", false},
      {"; first", u"s", u";k", u"v", false},
      {"[ after blanks", u"s", u" \t\v\f\x1a[k", u"v", false},
      {"; after an ideographic space", u"s", u"\u3000;k", u"v", false},
      {"] in the section", u"a]b", u"k", u"v", false},
      {"] ending the section", u"s]", u"k", u"v", false},
  };
  for (const Case& c : kCases)
    EXPECT_EQ(IniWriteReadsBack(c.section.c_str(), c.key.c_str(), c.value.c_str()), c.kept)
        << c.name;
}

TEST(IsIniFilePath, RefusesDevicesAndTheEmptyPath) {
  struct Case {
    std::u16string path;
    bool file;
  };
  const Case kCases[] = {
      {u"", false},
      {u"NUL", false},
      {u"nul", false},
      {u"C:\\dir\\Nul.ini", false},
      {u"dir/aux.tar.gz", false},
      {u"CON", false},
      {u"prn.txt", false},
      {u"COM1", false},
      {u"com9.ini", false},
      {u"LPT1", false},
      {u"lpt9.x", false},
      {u"COM\u00b9.ini", false},
      {u"lpt\u00b3", false},
      {u"CONIN$", false},
      {u"conout$.ini", false},
      {u"Com3 .ini", false},
      {u"nul  ", false},
      {u"aux:", false},
      {u"\\\\.\\COM2", false},
      {u"\\\\.\\pipe\\kesmet", false},
      {u"//./pipe/kesmet", false},
      {u"\\\\?\\C:\\t.ini", true},
      {u"t.ini", true},
      {u"C:\\nul\\t.ini", true},
      {u"COM10.ini", true},
      {u"COM0", true},
      {u"LPT", true},
      {u"console.ini", true},
      {u"nul1", true},
      {u"xnul", true},
      {u"CONIN", true},
      {u"COM\u00b4", true},
      {u"dir\\", true},
  };
  for (const Case& c : kCases)
    EXPECT_EQ(IsIniFilePath(c.path.c_str()), c.file) << std::string(c.path.begin(), c.path.end());
}

std::u16string LockName(const std::u16string& path) {
  Utf16Unit name[kIniLockNameUnits];
  std::fill(std::begin(name), std::end(name), u'x');
  IniLockName(path.c_str(), name);
  const auto end = std::find(std::begin(name), std::end(name), u'\0');
  EXPECT_NE(end, std::end(name)) << "terminated";
  return std::u16string(std::begin(name), end);
}

TEST(IniLockName, ThePathWithoutBackslashesOrItsHash) {
  EXPECT_EQ(LockName(u"C:\\DIR\\T.INI"), u"Local\\Kesmet:C:/DIR/T.INI");
  // "Local\Kesmet:" takes 13 units: 246 more fill the 259 a name may have.
  const std::u16string longest = u"C:\\" + std::u16string(243, u'N');
  EXPECT_EQ(LockName(longest), u"Local\\Kesmet:C:/" + std::u16string(243, u'N'));
  const std::u16string hashed = LockName(longest + u"N");
  EXPECT_EQ(hashed.size(), 13u + 16u);
  EXPECT_EQ(hashed.substr(0, 13), u"Local\\Kesmet#");
  EXPECT_EQ(hashed.find_first_not_of(u"0123456789abcdef", 13), std::u16string::npos);
  const std::u16string other = LockName(longest + u"M");
  EXPECT_NE(other, hashed);
  EXPECT_EQ(LockName(longest + u"N"), hashed);
}

}  // namespace
