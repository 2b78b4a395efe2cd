#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "fxt_block.h"
#include "fxt_json.h"
#include "fxt_lines.h"
#include "os_error_text.h"
#include "reference_text.h"
#include "typings_path.h"
#include "utf8.h"

using namespace std::string_literals;

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

// FxtJson's result for the file's bytes as a text: nullopt for null. The
// block it asked for holds exactly the text and its zero byte, and there is
// none without a result.
std::optional<std::string> JsonOf(std::string_view file) {
  const FxtBlock result = FxtJsonBlock(file);
  EXPECT_EQ(result.blockSize, result.json ? result.json->size() + 1 : 0u);
  return result.json;
}

// The result for a table of these entries: null when there are none.
std::optional<std::string> ObjectOf(const Pairs& pairs) {
  if (pairs.empty()) return std::nullopt;
  return reference::JsonObject(pairs);
}

using reference::kWhiteSpace;

// Characters next to White_Space ones in code point or in encoding: content.
const std::string kNotWhiteSpace[] = {
    "\x08",         "\x0E",         "\x1C",         "\x1F",
    "\x7F",         "\0"s,          "\xC2\x84",     "\xC2\xA1",
    "\xC4\x85",     "\xC4\xA0",     "\xE1\x9A\x81", "\xE1\x80\x80",
    "\xE2\x80\x8B", "\xE2\x80\xA7", "\xE2\x80\xAA", "\xE2\x80\xAE",
    "\xE2\x81\x9E", "\xE2\x81\xA0", "\xE2\x82\x80", "\xE3\x80\x81",
    "\xE3\x81\x80", "\xE4\x80\x80", "\xEF\xBB\xBF", "\xF0\x9F\x98\x80",
};

TEST(FxtJson, Lines) {
  const struct {
    std::string text;
    Pairs expected;
  } cases[] = {
      {"KEY value", {{"KEY", "value"}}},
      {"KEY  two  blanks", {{"KEY", " two  blanks"}}},
      {"KEY\tvalue text", {{"KEY\tvalue", "text"}}},
      {"KEY", {}},
      {"KEY ", {}},
      {"KEY\tvalue", {}},
      {"   # note", {}},
      {";note", {}},
      {"KEY #note", {{"KEY", "#note"}}},
      {"KEY a;b#c", {{"KEY", "a;b#c"}}},
      {"A 1\nA 2", {{"A", "2"}}},
      {"b 1\nB 2\na 3", {{"B", "2"}, {"a", "3"}, {"b", "1"}}},
      {"\xEF\xBB\xBF#x y", {{"\xEF\xBB\xBF#x", "y"}}},
      {"x y\xC2\xA0", {{"x", "y"}}},
      {" \t\r\n\n\xC2\xA0\xE3\x80\x80\n\v\f\r\n", {}},
      {"a b\rc d\re f\r", {{"a", "b\rc d\re f"}}},
      {"a 1\n\nb 2", {{"a", "1"}, {"b", "2"}}},
      {"", {}},
      {"\n", {}},
      {"k\0ey va\0lue"s, {{"k\0ey"s, "va\0lue"s}}},
      {"\xE3\x80\x80\xC2\x85key value\xC2\x85\xE3\x80\x80", {{"key", "value"}}},
      {"\xE2\x80\x8Bkey value\xEF\xBB\xBF", {{"\xE2\x80\x8Bkey", "value\xEF\xBB\xBF"}}},
      {"\x1Fkey value\x1C", {{"\x1Fkey", "value\x1C"}}},
      {"\xC3\xA9 1\nz 2", {{"z", "2"}, {"\xC3\xA9", "1"}}},
      {"AB 1\nA 2", {{"A", "2"}, {"AB", "1"}}},
      {"a\0 1\na 2"s, {{"a", "2"}, {"a\0"s, "1"}}},
      {"abcdefghijklmnop2 1\nabcdefghijklmnop1 2\nabcdefghijklmnop 3\nabcdefghijklmnop1 4",
       {{"abcdefghijklmnop", "3"}, {"abcdefghijklmnop1", "4"}, {"abcdefghijklmnop2", "1"}}},
      {"abcdefghijklmnopqrstuvwx2 1\nabcdefghijklmnopqrstuvwx1 2\nabcdefghijklmnopqrstuvwx 3\n"
       "abcdefghijklmnopqrstuvwx1 4",
       {{"abcdefghijklmnopqrstuvwx", "3"},
        {"abcdefghijklmnopqrstuvwx1", "4"},
        {"abcdefghijklmnopqrstuvwx2", "1"}}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(JsonOf(c.text), ObjectOf(c.expected)) << testing::PrintToString(c.text);
  }
}

TEST(FxtJson, CrLfAndLfGiveTheSameTable) {
  const std::string lf = "; header\nb two words\n  a 1\n\n# c x\nb 3\nlast line";
  std::string crlf;
  for (const char c : lf) crlf += c == '\n' ? "\r\n" : std::string(1, c);
  const Pairs expected = {{"a", "1"}, {"b", "3"}, {"last", "line"}};
  EXPECT_EQ(JsonOf(lf), ObjectOf(expected));
  EXPECT_EQ(JsonOf(crlf), ObjectOf(expected));
}

TEST(FxtJson, TrimsExactlyTheWhiteSpaceCharacters) {
  for (const std::string& space : kWhiteSpace) {
    EXPECT_EQ(JsonOf(space + space + "k v" + space), ObjectOf({{"k", "v"}}))
        << testing::PrintToString(space);
  }
  for (const std::string& other : kNotWhiteSpace) {
    EXPECT_EQ(JsonOf(other + "k v" + other), ObjectOf({{other + "k", "v" + other}}))
        << testing::PrintToString(other);
  }
}

// What the walker reports of a line, copied out of the text.
struct Line {
  std::size_t number, offset;
  std::string text;
  FxtLineKind kind;
  std::string key, value;
  bool operator==(const Line&) const = default;
};

void PrintTo(const Line& line, std::ostream* out) {
  *out << line.number << "@" << line.offset << " " << testing::PrintToString(line.text) << " kind "
       << static_cast<int>(line.kind) << " " << testing::PrintToString(line.key) << "="
       << testing::PrintToString(line.value);
}

std::vector<Line> LinesOf(std::string_view text) {
  std::vector<Line> lines;
  ForEachFxtLine(text, [&](const FxtLine& line) {
    // Key and value are views into the line itself.
    EXPECT_TRUE(line.key.empty() ||
                (line.key.data() >= line.text.data() &&
                 line.value.data() + line.value.size() <= line.text.data() + line.text.size()));
    lines.push_back({line.number, line.offset, std::string(line.text), line.kind,
                     std::string(line.key), std::string(line.value)});
  });
  return lines;
}

TEST(ForEachFxtLine, ReportsEveryLine) {
  using enum FxtLineKind;
  const struct {
    std::string text;
    std::vector<Line> lines;
  } cases[] = {
      {"", {}},
      {"\n", {{1, 0, "", kBlank, "", ""}}},
      {"a b\r\n#c d\n;e\n  \t\r\nnoblank\r",
       {{1, 0, "a b", kEntry, "a", "b"},
        {2, 5, "#c d", kComment, "", ""},
        {3, 10, ";e", kComment, "", ""},
        {4, 13, "  \t", kBlank, "", ""},
        {5, 18, "noblank\r", kNoBlank, "", ""}}},
      {"\xC2\xA0 k  v \xE3\x80\x80\r\r\nx y",
       {{1, 0, "\xC2\xA0 k  v \xE3\x80\x80\r", kEntry, "k", " v"},
        {2, 14, "x y", kEntry, "x", "y"}}},
      {"k\tv w\r", {{1, 0, "k\tv w\r", kEntry, "k\tv", "w"}}},
  };
  for (const auto& c : cases) EXPECT_EQ(LinesOf(c.text), c.lines) << testing::PrintToString(c.text);
}

TEST(FxtJson, MatchesReferenceOnRandomTexts) {
  const std::string alphabet[] = {" ", "\t", "\r",       "\n",           "#",  ";", "a",
                                  "b", "a",  "\xC2\xA0", "\xE3\x80\x80", "\0"s};
  std::mt19937 random(20240611);
  const auto pick = [&](std::size_t count) {
    return std::uniform_int_distribution<std::size_t>(0, count - 1)(random);
  };
  // Letters that do not end a key: no blank, LF or other ASCII white space.
  const auto word = [&](std::size_t maxLength) {
    std::string letters;
    for (std::size_t length = pick(maxLength + 1); length != 0; --length) {
      letters += alphabet[4 + pick(std::size(alphabet) - 4)];
    }
    return letters;
  };
  for (int round = 0; round < 4000; ++round) {
    // Words from a small pool, most sharing a long stem: keys repeat and agree
    // in many leading bytes, which is what the sort and the removal of
    // duplicates have to get right.
    const std::string stem = word(20);
    std::string pool[4];
    for (std::string& entry : pool) entry = (pick(4) != 0 ? stem : "") + "a" + word(4);
    std::string text;
    for (std::size_t pieces = pick(60); pieces != 0; --pieces) {
      text += pick(2) == 0 ? pool[pick(std::size(pool))] : alphabet[pick(std::size(alphabet))];
    }
    ASSERT_EQ(JsonOf(text), reference::FxtJson(text)) << testing::PrintToString(text);
  }
}

TEST(IsValidUtf8, Sequences) {
  const struct {
    std::string text;
    bool valid;
  } cases[] = {
      {"", true},
      {"plain ASCII\0\x7F"s, true},
      {"\xC2\x80 \xDF\xBF", true},                  // U+0080, U+07FF
      {"\xE0\xA0\x80 \xEF\xBF\xBF", true},          // U+0800, U+FFFF
      {"\xED\x9F\xBF \xEE\x80\x80", true},          // U+D7FF, U+E000
      {"\xF0\x90\x80\x80 \xF4\x8F\xBF\xBF", true},  // U+10000, U+10FFFF
      {"\xC0\x80", false},                          // overlong U+0000
      {"\xC1\xBF", false},                          // overlong U+007F
      {"\xE0\x9F\xBF", false},                      // overlong U+07FF
      {"\xF0\x8F\xBF\xBF", false},                  // overlong U+FFFF
      {"\xED\xA0\x80", false},                      // U+D800
      {"\xED\xBF\xBF", false},                      // U+DFFF
      {"\xF4\x90\x80\x80", false},                  // U+110000
      {"\xF5\x80\x80\x80", false},
      {"\xFF", false},
      {"\x80", false},
      {"a\xBF", false},
      {"\xC2\x80\x80", false},  // continuation after a full sequence
      {"\xC2", false},
      {"\xE2\x82", false},
      {"\xF0\x9F\x98", false},
      {"\xE2\x82x", false},
      {"\xF0\x9F\x98 ", false},
      {"\xC2\xC2\x80", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsValidUtf8(c.text), c.valid) << testing::PrintToString(c.text);
  }
}

TEST(Utf8ErrorOffset, FirstByteOfTheFirstBadSequence) {
  const struct {
    std::string text;
    std::size_t offset;
  } cases[] = {
      {"", 0},
      {"plain", 5},
      {"\xC3\xA9\xFF", 2},
      {"ab\xE2\x82x\xFF", 2},
      {"0123456789abcdef\xE2\x82\xAC\xED\xA0\x80", 19},
      {"0123456789abcdefghij\xF0\x9F\x98", 20},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf8ErrorOffset(c.text), c.offset) << testing::PrintToString(c.text);
  }
}

TEST(IsValidUtf8, SequenceAfterAsciiRunAtEveryOffset) {
  const struct {
    std::string sequence;
    bool valid;
  } cases[] = {
      {"\xE2\x82\xAC", true}, {"\x80", false}, {"\xE2\x82", false}, {"\xED\xA0\x80", false}};
  for (std::size_t offset = 0; offset <= 16; ++offset) {
    for (const auto& c : cases) {
      const std::string ascii(offset, 'a');
      EXPECT_EQ(IsValidUtf8(ascii + c.sequence), c.valid) << offset;
      EXPECT_EQ(IsValidUtf8(ascii + c.sequence + "0123456789abcdef"), c.valid) << offset;
    }
  }
}

// A value far longer than the writer's sixteen-byte steps, with a run of
// bytes that grow sixfold and escapes on both sides of every step boundary.
TEST(FxtJson, LongValueWithEscapes) {
  std::string value = "v";
  for (int i = 0; i < 300000; ++i) value += "ab\"\\\tcd"[i % 8];
  value += std::string(70000, '\x01') + "end";
  EXPECT_TRUE(JsonOf("K " + value) == reference::JsonObject({{"K", value}}));
}

// Tables large enough to be sorted in buckets: keys that share long stems
// (beyond the depth where buckets give way to comparisons too), end where
// others go on, hold zero bytes and repeat; in file order, in key order
// (which needs no sort), and in key order up to a point.
TEST(FxtJson, LargeTablesMatchReference) {
  std::mt19937 random(7);
  const std::string stems[] = {"", "MENU_ITEM_", std::string(40, 'k'), "a\0b"s,
                               "\xC3\xA9t\xC3\xA9_"};
  std::vector<std::pair<std::string, std::string>> lines;
  for (int i = 0; i < 6000; ++i) {
    std::string key = stems[random() % std::size(stems)] + std::to_string(random() % 3000);
    if (random() % 7 == 0) key += std::string(random() % 12, 'x');
    lines.emplace_back(key, " v" + std::to_string(i) + (i % 5 == 0 ? "\t\"q\"" : ""));
  }
  auto keyOrder = lines;
  std::stable_sort(keyOrder.begin(), keyOrder.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  auto partlyInOrder = keyOrder;
  std::shuffle(partlyInOrder.begin() + 5000, partlyInOrder.end(), random);
  // Escapes outside the entries too: trimmed tabs and vertical tabs, CR
  // line ends, comments, lines without a blank.
  for (const auto* order : {&lines, &keyOrder, &partlyInOrder}) {
    std::string text;
    int n = 0;
    for (const auto& [key, rest] : *order) {
      ++n;
      text += (n % 3 == 0 ? "\t" : "") + key + rest + (n % 4 == 0 ? "\v\t\r\n" : "\r\n");
      if (n % 11 == 0) text += "# \"c\"\x01\\\r\n\x02\t\n";
    }
    EXPECT_EQ(JsonOf(text), reference::FxtJson(text));
  }
}

// Keys that the sort's eight-byte prefixes cannot tell apart: shorter than
// a prefix and padded with zeros where others hold zero bytes, prefixes of
// one another, equal in their first eight or sixteen bytes and different
// after, and repeated (the later line wins). Enough of them for the
// sorts by prefix byte, in shuffled order.
TEST(FxtJson, KeysThatAgreeInTheirPrefixes) {
  const std::string pieces[] = {"\0"s, "a", "\0\0\0\0\0\0\0\0"s, "MENU_TIT"};
  std::mt19937 random(11);
  std::vector<std::string> lines;
  for (int i = 0; i < 3000; ++i) {
    std::string key = "k";
    for (auto length = random() % 5; length != 0; --length) key += pieces[random() % 4];
    lines.push_back(key + " v" + std::to_string(i) + "\n");
  }
  std::string text;
  for (const std::string& line : lines) text += line;
  EXPECT_EQ(JsonOf(text), reference::FxtJson(text));
}

// The file's bytes to the loader's result: null unless they are UTF-8 and
// hold an entry.
TEST(FxtJson, BytesToResult) {
  const struct {
    std::string file;
    std::optional<std::string> json;
  } cases[] = {
      {"B 2\r\nA 1\r\nA 3\r\n", R"({"A":"3","B":"2"})"},
      {"q \"x\"\nb a\\b\nt a\tb\nv a\vb\nu \xC3\xA9 /\n\"k\\ 1",
       R"({"\"k\\":"1","b":"a\\b","q":"\"x\"","t":"a\tb","u":"é /","v":"a\u000bb"})"},
      {"\xEF\xBB\xBFk v", "{\"\xEF\xBB\xBFk\":\"v\"}"},
      {"", std::nullopt},
      {"# only\n\n  \t\n; comments\nnoblank\n", std::nullopt},
      {"K v\n# caf\xFF\n", std::nullopt},
      {"K \xC3", std::nullopt},
      {"K \xED\xA0\x80", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(JsonOf(c.file), c.json) << testing::PrintToString(c.file);
  }
}

std::string TypingsPathFor(const std::string& directory) {
  char buffer[kDirectoryBufferSize] = {};
  std::memcpy(buffer, directory.data(), std::min(directory.size(), sizeof buffer));
  return QuorletTypingsPath(buffer);
}

TEST(QuorletTypingsPath, JoinsDirectoryAndName) {
  const struct {
    std::string directory;
    std::string expected;
  } cases[] = {
      {"", "quorlet.d.ts"},
      {"C:\\dir", "C:\\dir\\quorlet.d.ts"},
      {"C:\\dir\\", "C:\\dir\\quorlet.d.ts"},
      {"/tmp/d/", "/tmp/d/quorlet.d.ts"},
      {"/tmp/d", "/tmp/d\\quorlet.d.ts"},
      {"C:", "C:quorlet.d.ts"},
      {"c:", "c:quorlet.d.ts"},
      {"z:", "z:quorlet.d.ts"},
      {"CC:", "CC:\\quorlet.d.ts"},
      {"1:", "1:\\quorlet.d.ts"},
      {"@:", "@:\\quorlet.d.ts"},
      {"[:", "[:\\quorlet.d.ts"},
      {"`:", "`:\\quorlet.d.ts"},
      {"{:", "{:\\quorlet.d.ts"},
      {"C\\", "C\\quorlet.d.ts"},
      {"D:\\\xC3\xA9t\xC3\xA9", "D:\\\xC3\xA9t\xC3\xA9\\quorlet.d.ts"},
      {"a\xFF", "quorlet.d.ts"},
      {"C:\\d\0\xFFjunk"s, "C:\\d\\quorlet.d.ts"},
      {std::string(255, 'a'), std::string(255, 'a') + "\\quorlet.d.ts"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TypingsPathFor(c.directory), c.expected) << testing::PrintToString(c.directory);
  }
}

TEST(QuorletTypingsPath, UnterminatedBufferCountsAsEmpty) {
  char buffer[kDirectoryBufferSize];
  std::memset(buffer, 'a', sizeof buffer);
  EXPECT_EQ(QuorletTypingsPath(buffer), "quorlet.d.ts");
}

TEST(TrimTrailingWhiteSpace, RemovesOnlyWhiteSpaceAtTheEnd) {
  const struct {
    std::string text;
    std::string expected;
  } cases[] = {
      {"Access is denied.\r\n", "Access is denied."},
      {"", ""},
      {"\r\n \xE3\x80\x80", ""},
      {" x y", " x y"},
      {"x \t\xE2\x80\xAF\xC2\xA0\n", "x"},
      {"\xC2\xA0x", "\xC2\xA0x"},
  };
  for (const auto& c : cases) {
    std::string text = c.text;
    TrimTrailingWhiteSpace(text);
    EXPECT_EQ(text, c.expected) << testing::PrintToString(c.text);
  }
  for (const std::string& space : kWhiteSpace) {
    std::string text = "x" + space + space;
    TrimTrailingWhiteSpace(text);
    EXPECT_EQ(text, "x") << testing::PrintToString(space);
  }
  for (const std::string& other : kNotWhiteSpace) {
    std::string text = "x" + other;
    TrimTrailingWhiteSpace(text);
    EXPECT_EQ(text, "x" + other) << testing::PrintToString(other);
  }
}

// The texts a failure to write quorlet.d.ts logs after the prefix, from what
// the message lookup gave.
TEST(OsErrorText, MessagesAndFallbacks) {
  const struct {
    std::uint32_t code;
    std::u16string message;  // empty: the lookup found none
    std::uint32_t lookupError;
    std::string text;
  } cases[] = {
      {5, u"Access is denied.\r\n", 0, "Access is denied. (os error 5)"},
      {3, u"Path \u00e9\u65e5\U0001F600 \u3000\u00a0\r\n", 0,
       "Path \xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80 (os error 3)"},
      {32, u" \r\n", 0, " (os error 32)"},
      {4294967295u, u"Failed", 0, "Failed (os error 4294967295)"},
      {1, u"", 1815, "OS Error 1 (FormatMessageW() returned error 1815)"},
      {0xD0000022u, u"", 317, "OS Error 3489660962 (FormatMessageW() returned error 317)"},
      {87, u"half \xD800 a pair", 0, "OS Error 87 (FormatMessageW() returned invalid UTF-16)"},
      {87, u"ends in half \xD83D", 0, "OS Error 87 (FormatMessageW() returned invalid UTF-16)"},
      {87, u"\xDE00 low half first", 0, "OS Error 87 (FormatMessageW() returned invalid UTF-16)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(OsErrorText(c.code, c.message, c.lookupError), c.text) << c.code;
  }
  EXPECT_STREQ(kShortWriteText, "failed to write whole buffer");
}

// Codes with bit 28 set are looked up in NTDLL's table without that bit.
TEST(NtdllMessageId, StatusCodesOnly) {
  const struct {
    std::uint32_t code;
    std::optional<std::uint32_t> ntdllId;
  } cases[] = {
      {5, std::nullopt},          {0xEFFFFFFFu, std::nullopt}, {0x10000000u, 0u},
      {0xD0000022u, 0xC0000022u}, {0xFFFFFFFFu, 0xEFFFFFFFu},
  };
  for (const auto& c : cases) EXPECT_EQ(NtdllMessageId(c.code), c.ntdllId) << c.code;
}

}  // namespace
