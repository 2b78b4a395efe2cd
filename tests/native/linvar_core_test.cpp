#include "text_lines.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "chunked_input.h"
#include "lines_json.h"
#include "reference_text.h"

namespace {

using namespace std::string_literals;

// The core on input handed out in chunks of these sizes; no chunk after the
// one that holds a 0x1A byte may be asked for.
std::optional<std::string> FeedChunks(std::string_view input, std::vector<std::size_t> sizes) {
  ChunkedInput chunked{input, std::move(sizes)};
  std::optional<std::string> json = LinesJsonOf(chunked, input.size());
  EXPECT_EQ(chunked.readsAfterEndOfText, 0u);
  return json;
}

// Checks the input read whole, cut once at every position, and one byte at
// a time.
void ExpectEveryFeedGives(std::string_view input, const std::string& expected) {
  SCOPED_TRACE(::testing::PrintToString(std::string(input)));
  EXPECT_EQ(FeedChunks(input, {}), expected);
  for (std::size_t cut = 1; cut < input.size(); ++cut) {
    SCOPED_TRACE(cut);
    EXPECT_EQ(FeedChunks(input, {cut, input.size() - cut}), expected);
  }
  EXPECT_EQ(FeedChunks(input, {1}), expected);
}

TEST(TextModeLength, EndsAtTheFirst0x1A) {
  EXPECT_EQ(TextModeLength(""), 0u);
  EXPECT_EQ(TextModeLength("ab\r\n"), 4u);
  EXPECT_EQ(TextModeLength("\x1a"), 0u);
  EXPECT_EQ(TextModeLength("ab\x1a"
                           "c\x1a"),
            2u);
  EXPECT_EQ(TextModeLength("a\0\x1a"s), 2u);
}

struct VisitedLine {
  std::size_t number;
  std::size_t offset;
  std::string text;
  bool operator==(const VisitedLine&) const = default;
};

std::vector<VisitedLine> VisitedLines(std::string_view text) {
  std::vector<VisitedLine> lines;
  ForEachTextLine(text, [&](std::size_t number, std::size_t offset, std::string_view line) {
    lines.push_back({number, offset, std::string(line)});
  });
  return lines;
}

TEST(ForEachTextLine, GivesNumbersOffsetsAndLines) {
  const struct {
    std::string text;
    std::vector<VisitedLine> lines;
  } cases[] = {
      {"", {}},
      {"\n", {{1, 0, ""}}},
      {"\r\n", {{1, 0, ""}}},
      {"\r", {{1, 0, "\r"}}},
      {"a\nb", {{1, 0, "a"}, {2, 2, "b"}}},
      {"a\r\nb\r\n", {{1, 0, "a"}, {2, 3, "b"}}},
      {"a\n\n", {{1, 0, "a"}, {2, 2, ""}}},
      {"a\rb\r\r\nc\r", {{1, 0, "a\rb\r"}, {2, 6, "c\r"}}},
      {"\r\r\n\n", {{1, 0, "\r"}, {2, 3, ""}}},
      {"\0\n\x1a"s, {{1, 0, "\0"s}, {2, 2, "\x1a"}}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(VisitedLines(c.text), c.lines) << testing::PrintToString(c.text);
  }
}

// Random texts of the bytes the rules look at: the lines are the
// reference's, and each starts where the previous one's line end stopped.
TEST(ForEachTextLine, RandomTextsMatchReference) {
  static constexpr char kAlphabet[] = {'a', '\r', '\n', '\x1a'};
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    std::string input(random() % 16, ' ');
    for (char& byte : input) byte = kAlphabet[random() % sizeof kAlphabet];
    const std::string_view text = std::string_view(input).substr(0, TextModeLength(input));
    const std::vector<VisitedLine> lines = VisitedLines(text);
    const std::vector<std::string> expected = reference::TextLines(input);
    ASSERT_EQ(lines.size(), expected.size()) << testing::PrintToString(input);
    std::size_t next = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      EXPECT_EQ(lines[i].number, i + 1);
      EXPECT_EQ(lines[i].offset, next);
      EXPECT_EQ(lines[i].text, expected[i]);
      next = text.find('\n', lines[i].offset + lines[i].text.size()) + 1;
    }
  }
}

struct LinesCase {
  std::string input;
  std::string json;
};

const LinesCase kCases[] = {
    {"", "[]"},
    {"\n", R"([""])"},
    {"a\nb", R"(["a","b"])"},
    {"a\nb\n", R"(["a","b"])"},
    {"a\n\n", R"(["a",""])"},
    {"a\r\nb\r\n", R"(["a","b"])"},
    {"a\rb", R"(["a\rb"])"},
    {"\r", R"(["\r"])"},
    {"\r\r\n", R"(["\r"])"},
    {"a\r\x1a", R"(["a\r"])"},
    {"\x01\x1f\n", R"(["\u0001\u001f"])"},
    {"\x7f\xc3\xa9", "[\"\x7f\xc3\xa9\"]"},
    {"a\0b\nc"s, R"(["a\u0000b","c"])"},
    {"\"q\"\\", R"(["\"q\"\\"])"},
    {"ab\x1a"
     "cd\nef",
     R"(["ab"])"},
    {"a\n\x1a"
     "b",
     R"(["a"])"},
    {"\x1a"
     "ab\n",
     "[]"},
    {"\xef\xbb\xbfx\n", "[\"\xef\xbb\xbfx\"]"},
    {"a\0\n\0"s, R"(["a\u0000","\u0000"])"},
    {"\b\t\f", R"(["\b\t\f"])"},
    // Long enough for whole-word scanning, bytes to escape at many offsets
    // and bytes next to them in value, which must pass, in the words.
    {"abcdefghijklmnop\"abcdefg\\abcdef\tabcde\rabcd\r\nabc\x1f"
     "abcdefgh\0abcdefghi\x1a"s,
     R"(["abcdefghijklmnop\"abcdefg\\abcdef\tabcde\rabcd","abc\u001fabcdefgh\u0000abcdefghi"])"},
    {" !#[]\x7f\x80\xff !#[]\x7f\x80\xff\n", "[\" !#[]\x7f\x80\xff !#[]\x7f\x80\xff\"]"},
};

TEST(LinesJson, TableFedInEveryWay) {
  for (const LinesCase& c : kCases) ExpectEveryFeedGives(c.input, c.json);
}

TEST(LinesJson, RandomInputsMatchReference) {
  static constexpr char kAlphabet[] = {'a', '\r', '\n', '\x1a', '\0', '"', '\x80'};
  std::mt19937 random(20240611);
  for (int round = 0; round < 3000; ++round) {
    std::string input(random() % 24, ' ');
    // Mostly 'a' so that runs long enough for whole-word scanning occur.
    for (char& byte : input) {
      byte = random() % 3 == 0 ? kAlphabet[random() % sizeof kAlphabet] : 'a';
    }
    ExpectEveryFeedGives(input, reference::LinesJson(input));
  }
}

// Texts of tens of kilobytes, the JSON written and copied on in pieces of a
// few kilobytes: line ends, escapes and a last line feed fall on every kind
// of boundary.
TEST(LinesJson, LongRandomTextsMatchReference) {
  static constexpr char kAlphabet[] = {'\r', '\n', '\0', '"', '\t', '\x80'};
  std::mt19937 random(11);
  for (int round = 0; round < 40; ++round) {
    std::string input(20000 + random() % 20000, 'a');
    for (char& byte : input) {
      if (random() % 4 == 0) byte = kAlphabet[random() % sizeof kAlphabet];
    }
    if (round % 2 == 0) input += '\n';
    EXPECT_TRUE(LinesJsonOf(input) == reference::LinesJson(input)) << "round " << round;
  }
}

// A file may be longer or shorter than its length said, and a length may be
// far beyond what memory holds: the text is the same.
TEST(LinesJson, LengthOnlySizesTheBlock) {
  std::string input;
  for (int line = 0; input.size() < 3 * kTextReadSize; ++line) {
    input += "line " + std::to_string(line) + (line % 3 == 0 ? "\t\"x\"\r\n" : "\n");
  }
  const std::string expected = reference::LinesJson(input);
  for (const std::uint64_t hint : {std::uint64_t{0}, std::uint64_t{input.size() / 2},
                                   std::uint64_t{input.size() * 4}, UINT64_MAX}) {
    ChunkedInput chunked{input};
    EXPECT_EQ(LinesJsonOf(chunked, hint), expected) << hint;
  }
}

}  // namespace
