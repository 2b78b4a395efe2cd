// Linvar in a real Windows process: start-up, the typings file, LoadLines.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "reference_text.h"
#include "support.h"

namespace orvo_test {
namespace {

using namespace std::literals;

// The declaration text as text mode stores it: every LF as CR LF.
constexpr char kTypings[] =
    "declare module \"*.txt\" {\r\n"
    "  const value: string[];\r\n"
    "  export default value;\r\n"
    "}\r\n"
    "\r\n"
    "declare module \"*.text\" {\r\n"
    "  const value: string[];\r\n"
    "  export default value;\r\n"
    "}\r\n";
static_assert(sizeof kTypings - 1 == 163);
constexpr char kBanner[] = "Linvar 1.3";
constexpr char kFailure[] = "Failed to write linvar.d.ts";
const std::vector<std::string> kStartEvents = {"log:Linvar 1.3", "loader:*.txt", "loader:*.text",
                                               "directory:1"};

std::vector<std::string> StartEventsThenFailure() {
  std::vector<std::string> events = kStartEvents;
  events.push_back("log:"s + kFailure);
  return events;
}

// Expects both loaders to work: a "*.txt" and a "*.text" file, each holding
// the one line "ok", load as ["ok"].
void ExpectLoadersWork(const TempDir& dir) {
  WriteFile(dir / "works.txt", "ok\n");
  WriteFile(dir / "works.text", "ok\n");
  EXPECT_EQ(Import(dir / "works.txt").text, R"(["ok"])");
  EXPECT_EQ(Import(dir / "works.text").text, R"(["ok"])");
}

using LinvarStartTest = HostTest;

TEST_F(LinvarStartTest, LogsBannerThenRegistersBothPatternsThenWritesTypings) {
  TeskSetDirectory(dir_.path().c_str());
  Plugin linvar("Linvar.orvo");
  EXPECT_EQ(Events(), kStartEvents);
  EXPECT_EQ(LogLines(), std::vector<std::string>{kBanner});
  const auto typings = ReadFile(dir_ / "linvar.d.ts");
  ASSERT_TRUE(typings);
  EXPECT_EQ(typings->size(), 163u);
  EXPECT_EQ(*typings, kTypings);
  EXPECT_EQ(Listing(dir_.path()), std::vector<std::string>{"linvar.d.ts"});
}

TEST_F(LinvarStartTest, ReplacesLongerAndShorterContent) {
  const std::string lfOnly =
      "declare module \"*.txt\" {\n  const value: string[];\n  export default value;\n}\n";
  for (const std::string& old :
       {std::string(5000, 'x'), "short"s, lfOnly, std::string(kTypings) + "tail"}) {
    WriteFile(dir_ / "linvar.d.ts", old);
    TeskReset();
    TeskSetDirectory(dir_.path().c_str());
    { Plugin linvar("Linvar.orvo"); }
    EXPECT_EQ(ReadFile(dir_ / "linvar.d.ts"), kTypings) << old.size();
    EXPECT_EQ(LogLines(), std::vector<std::string>{kBanner});
  }
}

TEST_F(LinvarStartTest, ReadOnlyTypingsFileLogsTheFailureAfterTheBannerAndFilesLoad) {
  WriteFile(dir_ / "linvar.d.ts", "old");
  SetFileAttributesW(Wide(dir_ / "linvar.d.ts").c_str(), FILE_ATTRIBUTE_READONLY);
  // Wine run by root lets anything write to a read-only file (the attribute
  // is only the Unix mode, which root passes). There the file is also held
  // open without write sharing, so that it still cannot be opened for writing.
  HANDLE probe =
      CreateFileW(Wide(dir_ / "linvar.d.ts").c_str(), GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  HANDLE lock = INVALID_HANDLE_VALUE;
  if (probe != INVALID_HANDLE_VALUE) {
    CloseHandle(probe);
    std::printf("note: read-only files are writable here; linvar.d.ts is also locked\n");
    lock = CreateFileW(Wide(dir_ / "linvar.d.ts").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                       OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  }
  TeskSetDirectory(dir_.path().c_str());
  {
    Plugin linvar("Linvar.orvo");
    EXPECT_EQ(Events(), StartEventsThenFailure());
    EXPECT_EQ(LogLines(), (std::vector<std::string>{kBanner, kFailure}));
    ExpectLoadersWork(dir_);
  }
  if (lock != INVALID_HANDLE_VALUE) CloseHandle(lock);
  EXPECT_EQ(ReadFile(dir_ / "linvar.d.ts"), "old");
}

TEST_F(LinvarStartTest, LockedTypingsFileLogsTheFailureAndFilesLoad) {
  WriteFile(dir_ / "linvar.d.ts", "old");
  HANDLE lock = CreateFileW(Wide(dir_ / "linvar.d.ts").c_str(), GENERIC_READ, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  TeskSetDirectory(dir_.path().c_str());
  {
    Plugin linvar("Linvar.orvo");
    EXPECT_EQ(LogLines(), (std::vector<std::string>{kBanner, kFailure}));
    ExpectLoadersWork(dir_);
  }
  CloseHandle(lock);
  EXPECT_EQ(ReadFile(dir_ / "linvar.d.ts"), "old");
}

TEST_F(LinvarStartTest, MissingDirectoryLogsTheFailureAndFilesLoad) {
  TeskSetDirectory((dir_ / "missing").c_str());
  Plugin linvar("Linvar.orvo");
  EXPECT_EQ(Events(), StartEventsThenFailure());
  ExpectLoadersWork(dir_);
}

TEST_F(LinvarStartTest, TrailingBackslashGivesTwoBackslashesUsedUnchanged) {
  CreateDirectoryW(Wide(dir_ / "sub").c_str(), nullptr);
  // The path formed is ...\sub\\linvar.d.ts; the system reads the empty
  // component between the two backslashes as none, so the file lands in sub.
  TeskSetDirectory((dir_ / "sub" + "\\").c_str());
  Plugin linvar("Linvar.orvo");
  EXPECT_EQ(LogLines(), std::vector<std::string>{kBanner});
  EXPECT_EQ(ReadFile(dir_ / "sub\\linvar.d.ts"), kTypings);
  EXPECT_EQ(Listing(dir_.path()), std::vector<std::string>{"sub"});
}

// The directory text is UTF-8: a directory named outside any code page gets
// the file; a directory text that is not UTF-8 names none, and start-up logs
// the failure.
TEST_F(LinvarStartTest, DirectoryTextIsUtf8) {
  const std::string directory = dir_ / "\xe6\x97\xa5\xe6\x9c\xac \xf0\x9d\x84\x9e";
  CreateDirectoryW(Wide(directory).c_str(), nullptr);
  TeskSetDirectory(directory.c_str());
  {
    Plugin linvar("Linvar.orvo");
    EXPECT_EQ(LogLines(), std::vector<std::string>{kBanner});
  }
  EXPECT_EQ(ReadFile(directory + "\\linvar.d.ts"), kTypings);

  TeskReset();
  TeskSetDirectory((dir_ / "bad\xff").c_str());
  CreateDirectoryW(Wide(dir_ / "bad\xef\xbf\xbd").c_str(), nullptr);  // U+FFFD
  {
    Plugin linvar("Linvar.orvo");
    EXPECT_EQ(Events(), StartEventsThenFailure());
    ExpectLoadersWork(dir_);
  }
  EXPECT_EQ(Listing(dir_ / "bad\xef\xbf\xbd"), std::vector<std::string>{});
}

// Makes a directory of the test current and tells where "\linvar.d.ts", a
// path relative to the root of the current drive, lands. Where the system
// lets a drive letter name a directory (DefineDosDevice), that directory is
// the root; elsewhere (Wine) the temporary directory's own drive is used,
// and the file at its root is removed before and after.
class CurrentDriveRoot {
 public:
  explicit CurrentDriveRoot(const TempDir& dir) : rootDirectory_(dir / "root") {
    wchar_t saved[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, saved);
    saved_ = saved;
    CreateDirectoryW(Wide(rootDirectory_).c_str(), nullptr);
    CreateDirectoryW(Wide(rootDirectory_ + "\\deeper").c_str(), nullptr);
    const DWORD used = GetLogicalDrives();
    for (char letter = 'Y'; letter >= 'G'; --letter) {
      if (used & (1u << (letter - 'A'))) continue;
      const std::wstring drive = {static_cast<wchar_t>(letter), L':'};
      if (DefineDosDeviceW(0, drive.c_str(), Wide(rootDirectory_).c_str())) {
        if (SetCurrentDirectoryW((drive + L"\\deeper").c_str())) {
          drive_ = drive;
          root_ = rootDirectory_ + "\\";
          return;
        }
        DefineDosDeviceW(DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE, drive.c_str(),
                         Wide(rootDirectory_).c_str());
      }
      break;
    }
    SetCurrentDirectoryW(Wide(rootDirectory_ + "\\deeper").c_str());
    root_ = rootDirectory_.substr(0, 2) + "\\";  // e.g. "C:\"
    DeleteFileW(Wide(root_ + "linvar.d.ts").c_str());
  }
  ~CurrentDriveRoot() {
    SetCurrentDirectoryW(saved_.c_str());
    if (drive_.empty()) {
      DeleteFileW(Wide(root_ + "linvar.d.ts").c_str());
    } else {
      DefineDosDeviceW(DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE, drive_.c_str(),
                       Wide(rootDirectory_).c_str());
    }
  }
  CurrentDriveRoot(const CurrentDriveRoot&) = delete;
  CurrentDriveRoot& operator=(const CurrentDriveRoot&) = delete;
  // Where a file at the root of the current drive is, and the current directory.
  std::string AtRoot(std::string_view name) const { return root_ + std::string(name); }
  std::string InCurrent(std::string_view name) const {
    return rootDirectory_ + "\\deeper\\" + std::string(name);
  }

 private:
  std::string rootDirectory_;
  std::wstring saved_;
  std::wstring drive_;  // the mapped drive, empty when none could be made
  std::string root_;
};

TEST_F(LinvarStartTest, EmptyDirectoryTextWritesAtTheRootOfTheCurrentDrive) {
  const CurrentDriveRoot drive(dir_);
  const struct {
    const char* name;
    std::optional<std::string> bytes;  // nullopt: the host writes nothing
  } cases[] = {{"empty text", std::string(1, '\0')}, {"nothing written", std::nullopt}};
  for (const auto& c : cases) {
    TeskReset();
    if (c.bytes)
      TeskSetDirectoryBytes(c.bytes->data(), static_cast<int32_t>(c.bytes->size()));
    else
      TeskSetDirectory(nullptr);
    {
      Plugin linvar("Linvar.orvo");
      EXPECT_EQ(Events(), kStartEvents) << c.name;
      ExpectLoadersWork(dir_);
    }
    EXPECT_EQ(ReadFile(drive.AtRoot("linvar.d.ts")), kTypings) << c.name;
    EXPECT_EQ(ReadFile(drive.InCurrent("linvar.d.ts")), std::nullopt) << c.name;
    DeleteFileW(Wide(drive.AtRoot("linvar.d.ts")).c_str());
  }
}

TEST_F(LinvarStartTest, DirectoryTextWithoutTerminatorWritesNoFile) {
  CreateDirectoryW(Wide(dir_ / "current").c_str(), nullptr);
  wchar_t saved[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, saved);
  SetCurrentDirectoryW(Wide(dir_ / "current").c_str());
  const struct {
    const char* name;
    std::string bytes;  // all 260 bytes of the buffer, none of them zero
  } cases[] = {
      {"letters", std::string(260, 'A')},
      {"a directory, then blanks",
       (dir_ / "current\\").append(260 - (dir_ / "current\\").size(), ' ')},
  };
  for (const auto& c : cases) {
    TeskReset();
    TeskSetDirectoryBytes(c.bytes.data(), static_cast<int32_t>(c.bytes.size()));
    {
      Plugin linvar("Linvar.orvo");
      EXPECT_EQ(Events(), StartEventsThenFailure()) << c.name;
      ExpectLoadersWork(dir_);
    }
    EXPECT_EQ(Listing(dir_ / "current"), std::vector<std::string>{}) << c.name;
  }
  SetCurrentDirectoryW(saved);
}

// ---- LoadLines --------------------------------------------------------------

class LoadLinesTest : public LoaderTest {
 protected:
  LoadLinesTest() : LoaderTest("Linvar.orvo", "lines.txt") {}
  // Loads the bytes and expects the lines that text mode yields for them.
  void ExpectTextModeLines(std::string_view bytes, const std::string& what) {
    EXPECT_TRUE(LoadBytes(bytes) == reference::LinesJson(bytes)) << what;
  }
};

// The line rules' edge cases, each as a file built byte by byte.
TEST_F(LoadLinesTest, EdgeCasesGiveTheirArrays) {
  const struct {
    const char* name;
    std::string file;
    std::string json;
  } cases[] = {
      {"empty file", "", "[]"},
      {"only LF", "\n", R"([""])"},
      {"a LF b", "a\nb", R"(["a","b"])"},
      {"a LF b LF", "a\nb\n", R"(["a","b"])"},
      {"a LF LF", "a\n\n", R"(["a",""])"},
      {"CR LF", "a\r\nb\r\n", R"(["a","b"])"},
      {"only CR LF", "\r\n", R"([""])"},
      {"lone CR", "a\rb", R"(["a\rb"])"},
      {"CR at the end", "a\r", R"(["a\r"])"},
      {"CR CR LF", "a\r\r\nb", R"(["a\r","b"])"},
      {"0x01 and 0x1F", "\x01\x1f", R"(["\u0001\u001f"])"},
      {"0x7F",
       "a\x7f"
       "b",
       "[\"a\x7f"
       "b\"]"},
      {"C3 A9", "caf\xc3\xa9", "[\"caf\xc3\xa9\"]"},
      {"Latin-1 byte, not UTF-8", "caf\xe9", "[\"caf\xe9\"]"},
      {"NUL", "a\0b\n"s, R"(["a\u0000b"])"},
      {"quote and backslash", "x\"y\\z", R"(["x\"y\\z"])"},
      {"slash", "a/b", R"(["a/b"])"},
      {"tab, backspace, form feed", "\t\b\f", R"(["\t\b\f"])"},
      {"vertical tab, escape", "\x0b\x1b", R"(["\u000b\u001b"])"},
      {"0x1A in the middle",
       "a\nb\x1a"
       "c\nd\n",
       R"(["a","b"])"},
      {"0x1A after LF",
       "a\n\x1a"
       "b",
       R"(["a"])"},
      {"0x1A at the start",
       "\x1a"
       "a\nb\n",
       "[]"},
      {"0x1A after CR", "a\r\x1a\n", R"(["a\r"])"},
      {"BOM", "\xef\xbb\xbfhi\nthere", "[\"\xef\xbb\xbfhi\",\"there\"]"},
      {"UTF-16", "\xff\xfeh\0i\0\r\0\n\0"s, "[\"\xff\xfeh\\u0000i\\u0000\\r\\u0000\",\"\\u0000\"]"},
      {"blank lines kept", "  \n\t\n", R"(["  ","\t"])"},
  };
  for (const auto& c : cases) EXPECT_EQ(LoadBytes(c.file), c.json) << c.name;
}

TEST_F(LoadLinesTest, EmptyFileGivesTheEmptyArrayInAThreeByteBlock) {
  WriteFile(dir_ / "empty.txt", "");
  const Imported imported = Import(dir_ / "empty.txt");
  EXPECT_EQ(imported.text, "[]");
  EXPECT_EQ(imported.blockSize, 3u);
  const char* block = TeskAllocBlock(TeskAllocCount() - 1);
  EXPECT_EQ(std::string(block, 3), "[]\0"s);
}

// Every byte value but LF and 0x1A in one line (the CR before 0x0E stays).
TEST_F(LoadLinesTest, EveryByteValueIsEscapedByTheTable) {
  std::string line;
  for (int byte = 0; byte < 256; ++byte)
    if (byte != '\n' && byte != 0x1a) line += static_cast<char>(byte);
  EXPECT_EQ(LoadBytes(line + "\n"), reference::JsonArray({line}));
}

TEST_F(LoadLinesTest, BothPatternsLoadWhateverTheCase) {
  const std::string file = "one\r\ntwo \"2\"\n";
  const std::string expected = R"(["one","two \"2\""])";
  for (const char* name : {"a.txt", "b.text", "C.TXT", "d.TeXt", "e.Txt"}) {
    EXPECT_EQ(LoadBytes(file, name), expected) << name;
  }
  WriteFile(dir_ / "f.txt.bak", file);
  EXPECT_FALSE(Import(dir_ / "f.txt.bak").found);
  WriteFile(dir_ / "g.texts", file);
  EXPECT_FALSE(Import(dir_ / "g.texts").found);
}

TEST_F(LoadLinesTest, UnopenablePathsGiveNullWithoutAllocMem) {
  CreateDirectoryW(Wide(dir_ / "folder.txt").c_str(), nullptr);
  WriteFile(dir_ / "locked.txt", "a\n");
  HANDLE lock = CreateFileW(Wide(dir_ / "locked.txt").c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  const int32_t blocks = TeskAllocCount();
  const int32_t events = TeskEventCount();
  EXPECT_EQ(Load(dir_ / "missing.txt"), std::nullopt);
  EXPECT_EQ(Load(dir_ / "no such folder\\x.text"), std::nullopt);
  EXPECT_EQ(Load(dir_ / "folder.txt"), std::nullopt);
  EXPECT_EQ(Load(dir_ / "locked.txt"), std::nullopt);
  EXPECT_EQ(TeskAllocCount(), blocks) << "no AllocMem without a result";
  EXPECT_EQ(TeskEventCount(), events) << "no host operation at all";
  CloseHandle(lock);
}

TEST_F(LoadLinesTest, FileOpenForWritingElsewhereIsRead) {
  WriteFile(dir_ / "open.txt", "a\nb");
  HANDLE other =
      CreateFileW(Wide(dir_ / "open.txt").c_str(), GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Load(dir_ / "open.txt"), R"(["a","b"])");
  CloseHandle(other);
}

// The path is UTF-8, whatever the system's ANSI code page: é.txt is not the
// file whose name is its bytes read in Windows-1252 (Ã©.txt), and names
// outside any code page (CJK, a character beyond the BMP) load.
TEST_F(LoadLinesTest, PathIsUtf8) {
  WriteFile(dir_ / "\xc3\x83\xc2\xa9.txt", "decoy\n");  // Ã©.txt
  for (const char* name :
       {"\xc3\xa9.txt", "\xe6\x97\xa5\xe6\x9c\xac.txt", "clef \xf0\x9d\x84\x9e.text"}) {
    WriteFile(dir_ / name, std::string(name) + "\n");
    EXPECT_EQ(Load(dir_ / name), reference::JsonArray({name})) << name;
  }
}

// A path that is not UTF-8 names no file, not one that a lenient reading of
// its bytes would give (U+FFFD for each bad sequence, or the ANSI code page).
TEST_F(LoadLinesTest, PathThatIsNotUtf8GivesNullWithoutAllocMem) {
  WriteFile(dir_ / "bad\xef\xbf\xbd.txt", "replaced\n");  // U+FFFD
  WriteFile(dir_ / "bad\xc3\xbf.txt", "ansi\n");          // U+00FF, 0xFF in Windows-1252
  const int32_t blocks = TeskAllocCount();
  for (const char* name :
       {"bad\xff.txt", "bad\xc3.txt", "bad\xc0\xaf.txt", "bad\xed\xa0\x80.txt"}) {
    EXPECT_EQ(Load(dir_ / name), std::nullopt) << testing::PrintToString(std::string(name));
  }
  EXPECT_EQ(TeskAllocCount(), blocks);
}

TEST_F(LoadLinesTest, AllocMemFailureGivesNullAndFreesEverything) {
  WriteFile(dir_ / "t.txt", "a\nb\n");
  TeskFailAllocMem(1);
  const int32_t before = TeskEventCount();
  EXPECT_EQ(Load(dir_ / "t.txt"), std::nullopt);
  EXPECT_EQ(TeskEventCount(), before + 1);
  EXPECT_STREQ(TeskEvent(before), "alloc:10") << "asked once, for the text and its NUL";
}

// Memory running out in the first import of the process, when nothing has
// been set up yet: null, no AllocMem, and every block given back in that
// very call (nothing is thrown, so the runtime keeps nothing for it).
TEST_F(LoadLinesTest, FirstImportRunningOutOfMemoryGivesNullWithTheHeapBalanced) {
  WriteFile(dir_ / "t.txt", "a\nb\n");
  const int32_t blocks = TeskAllocCount();
  const HeapDelta heap;
  TeskFailHeapAllocation(1);  // the text's block, after the path's
  const Imported imported = Import(dir_ / "t.txt");
  EXPECT_EQ(TeskFailHeapAllocation(-1), -1) << "the allocation was made, and failed";
  EXPECT_EQ(imported.text, std::nullopt);
  EXPECT_EQ(TeskAllocCount(), blocks);
  const TeskHeapCounts used = heap.Now();
  EXPECT_EQ(used.allocations, used.releases);
  EXPECT_EQ(Load(dir_ / "t.txt"), R"(["a","b"])");
}

// Line ends, lone CRs and 0x1A where a reader that goes chunk by chunk has
// its chunk boundaries (powers of two from 4 KiB up), in lines of x.
TEST_F(LoadLinesTest, LineRulesHoldAcrossChunkBoundaries) {
  const struct {
    const char* name;
    std::string bytes;
    int offset;  // where the bytes go, relative to the boundary
    bool endsAtBoundary;
  } cases[] = {
      {"CR LF across", "\r\n", -1, false},
      {"lone CR before", "\ry", -1, false},
      {"CR as the last byte", "\r", -1, true},
      {"CR LF as the last bytes", "\r\n", -2, true},
      {"0x1A after", "\x1a", 0, false},
      {"0x1A before", "\x1a", -1, false},
      {"CR then 0x1A across", "\r\x1a", -1, false},
      {"escapes across", "\"\\", -1, false},
  };
  for (const std::size_t boundary : {std::size_t{4096}, std::size_t{65536}, std::size_t{1} << 20}) {
    std::string base(boundary + 300, 'x');
    for (std::size_t i = 97; i < base.size(); i += 97) base[i] = '\n';
    for (const auto& c : cases) {
      std::string file = c.endsAtBoundary ? base.substr(0, boundary) : base;
      file.replace(boundary + c.offset, c.bytes.size(), c.bytes);
      ExpectTextModeLines(file, c.name + (" at " + std::to_string(boundary)));
    }
  }
}

// A file far longer than its text, which ends at its first byte: the
// length must not size a reserve a 32-bit process cannot have. (Made by
// setting its end, so the disk holds little of it.)
TEST_F(LoadLinesTest, LongFileEndingAtAnEarly0x1AGivesItsLines) {
  for (const std::string& head : {"\x1a"s, "a\r\nb\x1a"s}) {
    const std::string path = dir_ / "long.txt";
    WriteFile(path, head);
    HANDLE file =
        CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    LARGE_INTEGER length;
    length.QuadPart = std::int64_t{1900} << 20;
    const bool extended = SetFilePointerEx(file, length, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    ASSERT_TRUE(extended);
    EXPECT_EQ(Load(path), reference::LinesJson(head)) << testing::PrintToString(head);
  }
}

// A few megabytes of many lines, LF and CR LF ends mixed, with bytes of every
// kind: the JSON text is exactly that of the lines.
TEST_F(LoadLinesTest, LargeFileLoadsEveryLine) {
  static constexpr std::string_view kPieces[] = {"word",
                                                 " ",
                                                 "\t",
                                                 "\"",
                                                 "\\",
                                                 "caf\xc3\xa9",
                                                 "\x7f",
                                                 "\x01",
                                                 "\0"sv,
                                                 "\r",
                                                 "/",
                                                 "\xe6\x97\xa5",
                                                 "0123456789abcdefghijklmnopqrstuvwxyz"};
  std::uint32_t state = 12345;
  auto next = [&state](std::uint32_t bound) {
    state = state * 1664525u + 1013904223u;
    return (state >> 8) % bound;
  };
  std::string file;
  std::vector<std::string> lines;
  while (file.size() < (std::size_t{4} << 20)) {
    std::string line;
    const std::uint32_t pieces = next(12);
    for (std::uint32_t i = 0; i < pieces; ++i) line += kPieces[next(std::size(kPieces))];
    if (!line.empty() && line.back() == '\r') line += 'z';  // a CR before the end is lone
    file += line;
    file += next(3) == 0 ? "\r\n" : "\n";
    lines.push_back(std::move(line));
  }
  file += "last line without an end";
  lines.push_back("last line without an end");
  ASSERT_GT(lines.size(), 50000u);
  EXPECT_TRUE(LoadBytes(file, "large.text") == reference::JsonArray(lines))
      << "the JSON text differs";
}

TEST_F(LoadLinesTest, ConcurrentCallsGetIdenticalResults) {
  std::string file;
  for (int i = 0; i < 3000; ++i)
    file += "line " + std::to_string(i) + "\t\"" + std::to_string(i * 7919 % 3000) +
            (i % 3 == 0 ? "\"\r\n" : "\"\n");
  WriteFile(dir_ / "shared.txt", file);
  const auto single = Load(dir_ / "shared.txt");
  ASSERT_TRUE(single);
  EXPECT_EQ(*single, reference::LinesJson(file));
  std::vector<std::vector<std::optional<std::string>>> results(8);
  std::vector<std::thread> threads;
  const HeapDelta heap;
  for (auto& result : results)
    threads.emplace_back([&result, this] {
      for (int i = 0; i < 25; ++i) result.push_back(Import(dir_ / "shared.txt").text);
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(heap.Now().allocations, heap.Now().releases);
  for (const auto& result : results) {
    ASSERT_EQ(result.size(), 25u);
    for (const auto& text : result) EXPECT_TRUE(text == single);
  }
}

}  // namespace
}  // namespace orvo_test
