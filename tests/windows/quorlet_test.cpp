// Quorlet in a real Windows process: start-up, the typings file, LoadFxt.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "reference_text.h"
#include "support.h"

namespace orvo_test {
namespace {

constexpr char kTypings[] =
    "// Quorlet (Quorlet.orvo, Quorlet64.orvo)\r\n"
    "declare module \"*.fxt\" {\r\n"
    "  const value: Record<string, string>;\r\n"
    "  export default value;\r\n"
    "}\r\n";
constexpr char kFailurePrefix[] = "Failed to write quorlet.d.ts: ";

using QuorletStartTest = HostTest;

TEST_F(QuorletStartTest, LogsBannerThenRegistersThenWritesTypings) {
  TeskSetDirectory(dir_.path().c_str());
  Plugin quorlet("Quorlet.orvo");
  EXPECT_EQ(Events(), (std::vector<std::string>{"log:Quorlet 1.0", "loader:*.fxt", "directory:1"}));
  EXPECT_EQ(ReadFile(dir_ / "quorlet.d.ts"), kTypings);
}

TEST_F(QuorletStartTest, ReplacesLongerAndShorterContent) {
  for (const std::string& old : {std::string(5000, 'x'), std::string("short")}) {
    WriteFile(dir_ / "quorlet.d.ts", old);
    TeskSetDirectory(dir_.path().c_str());
    Plugin quorlet("Quorlet.orvo");
    EXPECT_EQ(ReadFile(dir_ / "quorlet.d.ts"), kTypings) << old.size();
  }
}

// Directory texts the host may give: where the file lands, relative to dir_.
TEST_F(QuorletStartTest, FormsThePathFromTheDirectoryText) {
  CreateDirectoryW(Wide(dir_ / "sub").c_str(), nullptr);
  SetCurrentDirectoryW(Wide(dir_.path()).c_str());
  const std::string unterminated(256, 'A');
  const struct {
    const char* name;
    std::string bytes;  // written as they are: no terminator added
    std::string landsAt;
  } cases[] = {
      {"backslash", dir_ / "sub" + "\\" + std::string(1, '\0'), "sub\\quorlet.d.ts"},
      {"slash", dir_ / "sub" + "/" + std::string(1, '\0'), "sub\\quorlet.d.ts"},
      {"plain", dir_ / "sub" + std::string(1, '\0'), "sub\\quorlet.d.ts"},
      {"drive only", std::string("C:") + '\0', "quorlet.d.ts"},
      {"empty", std::string(1, '\0'), "quorlet.d.ts"},
      {"not UTF-8", std::string("\xff\xfe") + '\0', "quorlet.d.ts"},
      {"no terminator", unterminated, "quorlet.d.ts"},
  };
  ASSERT_EQ(dir_.path().substr(0, 2), "C:") << "the temporary directory is expected on C:";
  for (const auto& c : cases) {
    TeskReset();
    TeskSetDirectoryBytes(c.bytes.data(), static_cast<int32_t>(c.bytes.size()));
    { Plugin quorlet("Quorlet.orvo"); }
    EXPECT_EQ(ReadFile(dir_ / c.landsAt), kTypings) << c.name;
    EXPECT_EQ(LogLines(), std::vector<std::string>{"Quorlet 1.0"}) << c.name;
    DeleteFileW(Wide(dir_ / c.landsAt).c_str());
  }
  TeskReset();
  TeskSetDirectory(nullptr);  // a host that writes nothing at all
  { Plugin quorlet("Quorlet.orvo"); }
  EXPECT_EQ(ReadFile(dir_ / "quorlet.d.ts"), kTypings) << "nothing written";
  SetCurrentDirectoryW(L"C:\\");
}

TEST_F(QuorletStartTest, MissingDirectoryLogsOneLineAndTheLoaderWorks) {
  TeskSetDirectory((dir_ / "missing").c_str());
  Plugin quorlet("Quorlet.orvo");
  const std::vector<std::string> log = LogLines();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0], "Quorlet 1.0");
  EXPECT_EQ(log[1].rfind(kFailurePrefix, 0), 0u) << log[1];
  const std::string suffix = " (os error 3)";
  ASSERT_GT(log[1].size(), sizeof kFailurePrefix + suffix.size()) << log[1];
  EXPECT_EQ(log[1].substr(log[1].size() - suffix.size()), suffix) << log[1];
  EXPECT_EQ(log[1].find_first_of("\r\n"), std::string::npos) << log[1];
  WriteFile(dir_ / "t.fxt", "K v\n");
  EXPECT_EQ(Import(dir_ / "t.fxt").text, "{\"K\":\"v\"}");
}

// A file another process holds without sharing cannot be replaced. (A
// read-only attribute is no test here: Wine running as root writes anyway.)
TEST_F(QuorletStartTest, LockedTypingsFileLogsTheSharingViolation) {
  WriteFile(dir_ / "quorlet.d.ts", "old");
  HANDLE lock = CreateFileW(Wide(dir_ / "quorlet.d.ts").c_str(), GENERIC_READ, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  TeskSetDirectory(dir_.path().c_str());
  { Plugin quorlet("Quorlet.orvo"); }
  CloseHandle(lock);
  const std::vector<std::string> log = LogLines();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[1].rfind(kFailurePrefix, 0), 0u) << log[1];
  EXPECT_EQ(log[1].substr(log[1].size() - 14), " (os error 32)") << log[1];
  EXPECT_EQ(ReadFile(dir_ / "quorlet.d.ts"), "old");
}

class LoadFxtTest : public LoaderTest {
 protected:
  LoadFxtTest() : LoaderTest("Quorlet.orvo", "table.fxt") {}
};

TEST_F(LoadFxtTest, FilesGiveTheirJsonObjects) {
  const struct {
    std::string file;
    std::optional<std::string> json;
  } cases[] = {
      {"B 2\nA 1\nA 3\n", R"({"A":"3","B":"2"})"},
      {"B 2\r\nA 1\r\nA 3\r\n", R"({"A":"3","B":"2"})"},
      {"K x\"y\\", R"({"K":"x\"y\\"})"},
      {"K a\tb", R"({"K":"a\tb"})"},
      {"K a\x0b"
       "b",
       R"({"K":"a\u000bb"})"},
      {"K caf\xc3\xa9 \xe6\x97\xa5", "{\"K\":\"caf\xc3\xa9 \xe6\x97\xa5\"}"},
      {"KEY  two  blanks", R"({"KEY":" two  blanks"})"},
      {"KEY\tvalue text", R"({"KEY\tvalue":"text"})"},
      {"b 1\nB 2\na 3", R"({"B":"2","a":"3","b":"1"})"},
      {"   # note\n;note\nKEY #note\n", R"({"KEY":"#note"})"},
      {"\xef\xbb\xbf#x y", "{\"\xef\xbb\xbf#x\":\"y\"}"},
      {"x y\xc2\xa0\r\n", R"({"x":"y"})"},
      {"a 1\rb 2\r", R"({"a":"1\rb 2"})"},
      {std::string("K a\0b\n", 6), R"({"K":"a\u0000b"})"},
      {"# only\n\n  \t\n; comments\nnoblank\n", std::nullopt},
      {"", std::nullopt},
      {"K v\n# caf\xff\n", std::nullopt},
      {"K \xc3", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(LoadBytes(c.file), c.json) << c.file;
}

TEST_F(LoadFxtTest, UnreadablePathsGiveNull) {
  CreateDirectoryW(Wide(dir_ / "folder.fxt").c_str(), nullptr);
  const int32_t blocks = TeskAllocCount();
  EXPECT_EQ(Load(dir_ / "missing.fxt"), std::nullopt);
  EXPECT_EQ(Load(dir_ / "folder.fxt"), std::nullopt);
  EXPECT_EQ(TeskAllocCount(), blocks) << "no AllocMem without a result";
}

// A path that is not UTF-8 names no file, not even the one whose name its
// bytes become with the bad byte replaced by U+FFFD.
TEST_F(LoadFxtTest, PathThatIsNotUtf8GivesNull) {
  WriteFile(dir_ / "bad\xef\xbf\xbd.fxt", "K v");
  ASSERT_EQ(Load(dir_ / "bad\xef\xbf\xbd.fxt"), "{\"K\":\"v\"}");
  const int32_t blocks = TeskAllocCount();
  EXPECT_EQ(Load(dir_ / "bad\xff.fxt"), std::nullopt);
  EXPECT_EQ(TeskAllocCount(), blocks) << "no AllocMem without a result";
}

TEST_F(LoadFxtTest, NonAsciiPathIsOpened) {
  WriteFile(dir_ / "t\xc3\xabst \xe6\x97\xa5.fxt", "K v");
  EXPECT_EQ(Load(dir_ / "t\xc3\xabst \xe6\x97\xa5.fxt"), "{\"K\":\"v\"}");
}

TEST_F(LoadFxtTest, FileOpenForWritingElsewhereIsRead) {
  WriteFile(dir_ / "open.fxt", "K v");
  HANDLE other = CreateFileW(Wide(dir_ / "open.fxt").c_str(), GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Load(dir_ / "open.fxt"), "{\"K\":\"v\"}");
  CloseHandle(other);
}

TEST_F(LoadFxtTest, AllocMemFailureGivesNullAndFreesEverything) {
  WriteFile(dir_ / "t.fxt", "K v");
  TeskFailAllocMem(1);
  EXPECT_EQ(Load(dir_ / "t.fxt"), std::nullopt);
}

TEST_F(LoadFxtTest, ParsesToTheExpectedEntries) {
  std::string file;
  std::vector<std::pair<std::string, std::string>> expected;
  for (int i = 999; i >= 0; --i) {
    const std::string key = "key" + std::to_string(i);
    file +=
        key + " first\r\n# comment " + key + "\r\n" + key + " v\"" + std::to_string(i) + "\\\r\n";
  }
  for (int i = 0; i < 1000; ++i)
    expected.emplace_back("key" + std::to_string(i), "v\"" + std::to_string(i) + "\\");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(LoadBytes(file), reference::JsonObject(expected));
}

TEST_F(LoadFxtTest, ConcurrentCallsGetIdenticalResults) {
  std::string file;
  for (int i = 0; i < 2000; ++i) {
    file += 'k';
    file += std::to_string(i * 7919 % 2000) + " value\t" + std::to_string(i) + '\n';
  }
  WriteFile(dir_ / "shared.fxt", file);
  const auto single = Load(dir_ / "shared.fxt");
  ASSERT_TRUE(single);
  std::vector<std::vector<std::optional<std::string>>> results(8);
  std::vector<std::thread> threads;
  const HeapDelta heap;
  for (auto& result : results)
    threads.emplace_back([&result, this] {
      for (int i = 0; i < 25; ++i) result.push_back(Import(dir_ / "shared.fxt").text);
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(heap.Now().allocations, heap.Now().releases);
  for (const auto& result : results)
    for (const auto& text : result) EXPECT_EQ(text, single);
}

}  // namespace
}  // namespace orvo_test
