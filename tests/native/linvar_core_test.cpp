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
#include "reference_text.h"

namespace {

using namespace std::string_literals;

// LinesJson on input handed out in chunks of these sizes; no chunk after the
// one that holds a 0x1A byte may be asked for.
std::optional<std::string> FeedChunks(std::string_view input, std::vector<std::size_t> sizes) {
  ChunkedInput chunked{input, std::move(sizes)};
  std::optional<std::string> json = LinesJson(input.size(), &ReadChunkFrom, &chunked);
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

// A file may be longer or shorter than its length said, and a length may be
// far beyond what memory holds: the text is the same.
TEST(LinesJson, SizeHintOnlySizesTheReserve) {
  std::string input;
  for (int line = 0; input.size() < 3 * kLinesChunkSize; ++line) {
    input += "line " + std::to_string(line) + (line % 3 == 0 ? "\t\"x\"\r\n" : "\n");
  }
  const std::string expected = reference::LinesJson(input);
  for (const std::uint64_t hint : {std::uint64_t{0}, std::uint64_t{input.size() / 2},
                                   std::uint64_t{input.size() * 4}, UINT64_MAX}) {
    ChunkedInput chunked{input};
    EXPECT_EQ(LinesJson(hint, &ReadChunkFrom, &chunked), expected) << hint;
  }
}

}  // namespace
