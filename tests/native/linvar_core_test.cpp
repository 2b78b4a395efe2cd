#include "text_lines.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "reference_text.h"

namespace {

using namespace std::string_literals;

using reference::JsonLinesText;

// Feeds the chunks in order, each of them even after the input has ended,
// and checks that every call reports whether a 0x1A has been seen so far.
std::string FeedChunks(const std::vector<std::string_view>& chunks) {
  JsonLines lines;
  std::size_t total = 0;
  for (const std::string_view chunk : chunks) total += chunk.size();
  BeginJsonLines(lines, total);
  bool ended = false;
  for (const std::string_view chunk : chunks) {
    ended = ended || chunk.find('\x1a') != std::string_view::npos;
    EXPECT_EQ(AppendJsonLines(lines, chunk), !ended);
  }
  FinishJsonLines(lines);
  return lines.json;
}

// Checks the input fed whole, cut once at every position (empty first or
// last chunk included), and one byte at a time with empty chunks between.
void ExpectEveryFeedGives(std::string_view input, const std::string& expected) {
  SCOPED_TRACE(::testing::PrintToString(std::string(input)));
  EXPECT_EQ(FeedChunks({input}), expected);
  for (std::size_t cut = 0; cut <= input.size(); ++cut) {
    SCOPED_TRACE(cut);
    EXPECT_EQ(FeedChunks({input.substr(0, cut), input.substr(cut)}), expected);
  }
  std::vector<std::string_view> bytes;
  for (std::size_t i = 0; i < input.size(); ++i) {
    bytes.push_back(input.substr(i, 1));
    bytes.push_back({});
  }
  EXPECT_EQ(FeedChunks(bytes), expected);
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

TEST(TextLines, TableFedInEveryWay) {
  for (const LinesCase& c : kCases) {
    ExpectEveryFeedGives(c.input, c.json);
    EXPECT_EQ(JsonLinesText(c.input), c.json) << c.json;
  }
}

TEST(TextLines, RandomInputsMatchReference) {
  static constexpr char kAlphabet[] = {'a', '\r', '\n', '\x1a', '\0', '"', '\x80'};
  std::mt19937 random(20240611);
  for (int round = 0; round < 3000; ++round) {
    std::string input(random() % 24, ' ');
    // Mostly 'a' so that runs long enough for whole-word scanning occur.
    for (char& byte : input) {
      byte = random() % 3 == 0 ? kAlphabet[random() % sizeof kAlphabet] : 'a';
    }
    ExpectEveryFeedGives(input, JsonLinesText(input));
  }
}

TEST(TextLines, ReservedRoomHoldsATypicalFile) {
  std::string file;
  for (int line = 0; file.size() < 100000; ++line) {
    file += "line " + std::to_string(line) + " of some text\r\n";
  }
  JsonLines lines;
  BeginJsonLines(lines, file.size());
  const char* const data = lines.json.data();
  AppendJsonLines(lines, file);
  FinishJsonLines(lines);
  EXPECT_EQ(lines.json.data(), data);
  EXPECT_EQ(lines.json, JsonLinesText(file));
}

}  // namespace
