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

#include "json_check.h"
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
constexpr char kBanner[] = "Linvar 1.2";
constexpr char kFailure[] = "Failed to write linvar.d.ts";
const std::vector<std::string> kStartEvents = {"log:Linvar 1.2", "loader:*.txt", "loader:*.text",
                                               "directory:1"};

std::vector<std::string> StartEventsThenFailure() {
  std::vector<std::string> events = kStartEvents;
  events.push_back("log:"s + kFailure);
  return events;
}

// The names in a directory, "." and ".." left out.
std::vector<std::string> Listing(const std::string& directory) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW(Wide(directory + "\\*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = Utf8(entry.cFileName);
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileW(find, &entry));
  FindClose(find);
  return names;
}

// Expects both loaders to work: a "*.txt" and a "*.text" file, each holding
// the one line "ok", load as ["ok"].
void ExpectLoadersWork(const TempDir& dir) {
  WriteFile(dir / "works.txt", "ok\n");
  WriteFile(dir / "works.text", "ok\n");
  EXPECT_EQ(Import(dir / "works.txt").text, R"(["ok"])");
  EXPECT_EQ(Import(dir / "works.text").text, R"(["ok"])");
}

class LinvarStartTest : public testing::Test {
 protected:
  void SetUp() override { TeskReset(); }
  void TearDown() override { EXPECT_EQ(Violations(), std::vector<std::string>{}); }
  TempDir dir_;
};

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

// The JSON string body of bytes, escaped byte by byte from the escape table
// (independently of the plug-in's escaping).
std::string Escaped(std::string_view bytes) {
  std::string out;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    switch (byte) {
      case 0x08:
        out += "\\b";
        break;
      case 0x09:
        out += "\\t";
        break;
      case 0x0A:
        out += "\\n";
        break;
      case 0x0C:
        out += "\\f";
        break;
      case 0x0D:
        out += "\\r";
        break;
      case 0x22:
        out += "\\\"";
        break;
      case 0x5C:
        out += "\\\\";
        break;
      default:
        if (byte < 0x20) {
          char form[7];
          std::snprintf(form, sizeof form, "\\u%04x", byte);
          out += form;
        } else {
          out += c;
        }
    }
  }
  return out;
}

std::string JsonArray(const std::vector<std::string>& lines) {
  std::string json = "[";
  for (const std::string& line : lines) {
    if (json.size() > 1) json += ',';
    json += '"' + Escaped(line) + '"';
  }
  return json + "]";
}

// The lines text mode yields, in the plainest way: cut at 0x1A, CR LF read
// as LF, split at LF, no empty line after a final LF.
std::vector<std::string> TextModeLines(std::string_view bytes) {
  const std::string_view text = bytes.substr(0, bytes.find('\x1a'));
  std::vector<std::string> lines;
  std::string line;
  bool open = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (text[i] == '\n') {
      lines.push_back(line);
      line.clear();
      open = false;
    } else {
      line += text[i];
      open = true;
    }
  }
  if (open) lines.push_back(line);
  return lines;
}

class LoadLinesTest : public testing::Test {
 protected:
  void SetUp() override {
    TeskReset();
    TeskSetDirectory(dir_.path().c_str());
    linvar_ = std::make_unique<Plugin>("Linvar.orvo");
  }
  void TearDown() override {
    EXPECT_EQ(Violations(), std::vector<std::string>{});
    linvar_.reset();
  }
  // A checked import whose text, if any, must be a strict JSON array.
  std::optional<std::string> Load(const std::string& path) {
    const Imported imported = CheckedImport(path);
    if (imported.text) {
      EXPECT_TRUE(json_check::ParseArray(*imported.text).has_value()) << *imported.text;
    }
    return imported.text;
  }
  std::optional<std::string> LoadBytes(std::string_view bytes, const char* name = "lines.txt") {
    WriteFile(dir_ / name, bytes);
    return Load(dir_ / name);
  }
  // Loads the bytes and expects the lines that text mode yields for them.
  void ExpectTextModeLines(std::string_view bytes, const char* what) {
    const auto json = LoadBytes(bytes);
    ASSERT_TRUE(json) << what;
    const std::vector<std::string> expected = TextModeLines(bytes);
    EXPECT_TRUE(*json == JsonArray(expected)) << what;
    EXPECT_TRUE(json_check::ParseArray(*json) == expected) << what;
  }
  TempDir dir_;
  std::unique_ptr<Plugin> linvar_;
};

// The line rules' edge cases, each as a file built byte by byte.
TEST_F(LoadLinesTest, EdgeCasesGiveTheirArrays) {
  const struct {
    const char* name;
    std::string file;
    std::string json;
    std::vector<std::string> lines;
  } cases[] = {
      {"empty file", "", "[]", {}},
      {"only LF", "\n", R"([""])", {""}},
      {"a LF b", "a\nb", R"(["a","b"])", {"a", "b"}},
      {"a LF b LF", "a\nb\n", R"(["a","b"])", {"a", "b"}},
      {"a LF LF", "a\n\n", R"(["a",""])", {"a", ""}},
      {"CR LF", "a\r\nb\r\n", R"(["a","b"])", {"a", "b"}},
      {"only CR LF", "\r\n", R"([""])", {""}},
      {"lone CR", "a\rb", R"(["a\rb"])", {"a\rb"}},
      {"CR at the end", "a\r", R"(["a\r"])", {"a\r"}},
      {"CR CR LF", "a\r\r\nb", R"(["a\r","b"])", {"a\r", "b"}},
      {"0x01 and 0x1F", "\x01\x1f", R"(["\u0001\u001f"])", {"\x01\x1f"}},
      {"0x7F",
       "a\x7f"
       "b",
       "[\"a\x7f"
       "b\"]",
       {"a\x7f"
        "b"}},
      {"C3 A9", "caf\xc3\xa9", "[\"caf\xc3\xa9\"]", {"caf\xc3\xa9"}},
      {"Latin-1 byte, not UTF-8", "caf\xe9", "[\"caf\xe9\"]", {"caf\xe9"}},
      {"NUL", "a\0b\n"s, R"(["a\u0000b"])", {"a\0b"s}},
      {"quote and backslash", "x\"y\\z", R"(["x\"y\\z"])", {"x\"y\\z"}},
      {"slash", "a/b", R"(["a/b"])", {"a/b"}},
      {"tab, backspace, form feed", "\t\b\f", R"(["\t\b\f"])", {"\t\b\f"}},
      {"vertical tab, escape", "\x0b\x1b", R"(["\u000b\u001b"])", {"\x0b\x1b"}},
      {"0x1A in the middle",
       "a\nb\x1a"
       "c\nd\n",
       R"(["a","b"])",
       {"a", "b"}},
      {"0x1A after LF",
       "a\n\x1a"
       "b",
       R"(["a"])",
       {"a"}},
      {"0x1A at the start",
       "\x1a"
       "a\nb\n",
       "[]",
       {}},
      {"0x1A after CR", "a\r\x1a\n", R"(["a\r"])", {"a\r"}},
      {"BOM",
       "\xef\xbb\xbfhi\nthere",
       "[\"\xef\xbb\xbfhi\",\"there\"]",
       {"\xef\xbb\xbfhi", "there"}},
      {"UTF-16",
       "\xff\xfeh\0i\0\r\0\n\0"s,
       "[\"\xff\xfeh\\u0000i\\u0000\\r\\u0000\",\"\\u0000\"]",
       {"\xff\xfeh\0i\0\r\0"s, "\0"s}},
      {"blank lines kept", "  \n\t\n", R"(["  ","\t"])", {"  ", "\t"}},
  };
  for (const auto& c : cases) {
    const auto json = LoadBytes(c.file);
    ASSERT_TRUE(json) << c.name;
    EXPECT_EQ(*json, c.json) << c.name;
    EXPECT_EQ(json_check::ParseArray(*json), c.lines) << c.name;
    EXPECT_EQ(TextModeLines(c.file), c.lines) << c.name;  // the model agrees
  }
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
  std::string json = "[\"";
  for (int byte = 0; byte < 256; ++byte) {
    if (byte == '\n' || byte == 0x1a) continue;
    static constexpr char kHex[] = "0123456789abcdef";
    switch (byte) {
      case 0x08:
        json += "\\b";
        break;
      case 0x09:
        json += "\\t";
        break;
      case 0x0C:
        json += "\\f";
        break;
      case 0x0D:
        json += "\\r";
        break;
      case 0x22:
        json += "\\\"";
        break;
      case 0x5C:
        json += "\\\\";
        break;
      default:
        if (byte < 0x20)
          json += "\\u00"s + kHex[byte >> 4] + kHex[byte & 15];
        else
          json += static_cast<char>(byte);
    }
  }
  json += "\"]";
  const auto loaded = LoadBytes(line + "\n");
  ASSERT_TRUE(loaded);
  EXPECT_EQ(*loaded, json);
  EXPECT_EQ(json_check::ParseArray(*loaded), std::vector<std::string>{line});
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

// The path goes to the narrow file functions unchanged, so a name outside
// ASCII is read in the system's ANSI code page.
TEST_F(LoadLinesTest, PathIsReadInTheAnsiCodePage) {
  const std::wstring name = L"caf\u00e9 \u00e0 la carte.txt";
  const std::wstring wideDirectory = Wide(dir_.path());
  auto ansi = [](const std::wstring& wide) -> std::optional<std::string> {
    BOOL lossy = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string text(n, '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), text.data(), n,
                        nullptr, GetACP() == CP_UTF8 ? nullptr : &lossy);
    if (lossy) return std::nullopt;
    return text;
  };
  const auto ansiPath = ansi(wideDirectory + L"\\" + name);
  if (!ansiPath) GTEST_SKIP() << "the ANSI code page " << GetACP() << " has no e acute";
  WriteFile(Utf8(wideDirectory + L"\\" + name), "ansi\n");
  EXPECT_EQ(Load(*ansiPath), R"(["ansi"])");
  if (GetACP() != CP_UTF8) {
    // The UTF-8 bytes of the same name read in the ANSI code page name
    // another file, which does not exist.
    EXPECT_EQ(Load(Utf8(wideDirectory + L"\\" + name)), std::nullopt);
  }
}

TEST_F(LoadLinesTest, AllocMemFailureGivesNullAndFreesEverything) {
  WriteFile(dir_ / "t.txt", "a\nb\n");
  TeskFailAllocMem(1);
  const int32_t before = TeskEventCount();
  EXPECT_EQ(Load(dir_ / "t.txt"), std::nullopt);
  EXPECT_EQ(TeskEventCount(), before + 1);
  EXPECT_STREQ(TeskEvent(before), "alloc:10") << "asked once, for the text and its NUL";
}

// Every heap allocation of a load fails in turn (memory running out): the
// call gives null and frees what it had, until it needs no more and succeeds.
TEST_F(LoadLinesTest, EachAllocationFailingGivesNull) {
  // Escapes make the text outgrow the reserve sized from the file's length.
  const std::string file = "one\r\n" + std::string(200, '\x01') + "\nthree";
  const std::string expected = JsonArray({"one", std::string(200, '\x01'), "three"});
  WriteFile(dir_ / "t.txt", file);
  // The C++ runtime keeps what it sets up for the first exception thrown in a
  // module (and, until the thread ends, in a thread): not the call's memory.
  // One failing load first, uncounted, lets the counts show the calls alone.
  TeskFailHeapAllocation(0);
  EXPECT_EQ(Import(dir_ / "t.txt").text, std::nullopt);
  TeskFailHeapAllocation(-1);
  for (int32_t failing = 0;; ++failing) {
    ASSERT_LT(failing, 100);
    const HeapDelta heap;
    const int32_t blocks = TeskAllocCount();
    TeskFailHeapAllocation(failing);
    const Imported imported = Import(dir_ / "t.txt");
    const bool failed = TeskFailHeapAllocation(-1) == -1;
    const TeskHeapCounts used = heap.Now();
    EXPECT_EQ(used.allocations, used.releases) << "failing " << failing;
    if (!failed) {
      EXPECT_GE(failing, 2) << "the text and the chunk buffer at least";
      EXPECT_EQ(imported.text, expected);
      break;
    }
    EXPECT_EQ(imported.text, std::nullopt) << "failing " << failing;
    EXPECT_EQ(TeskAllocCount(), blocks) << "no AllocMem once memory ran out";
  }
}

// Line ends, lone CRs and 0x1A where a reader that goes chunk by chunk has
// its chunk boundaries (powers of two from 4 KiB up).
TEST_F(LoadLinesTest, LineRulesHoldAcrossChunkBoundaries) {
  for (const std::size_t boundary : {std::size_t{4096}, std::size_t{65536}, std::size_t{1} << 20}) {
    std::string base(boundary + 300, 'x');
    for (std::size_t i = 97; i < base.size(); i += 97) base[i] = '\n';
    const std::string at = std::to_string(boundary);
    std::string file = base;
    file[boundary - 1] = '\r';
    file[boundary] = '\n';
    ExpectTextModeLines(file, ("CR LF across " + at).c_str());
    file = base;
    file[boundary - 1] = '\r';
    file[boundary] = 'y';
    ExpectTextModeLines(file, ("lone CR before " + at).c_str());
    file = base.substr(0, boundary);
    file[boundary - 1] = '\r';
    ExpectTextModeLines(file, ("CR as the last byte at " + at).c_str());
    file = base.substr(0, boundary);
    file[boundary - 2] = '\r';
    file[boundary - 1] = '\n';
    ExpectTextModeLines(file, ("CR LF as the last bytes at " + at).c_str());
    file = base;
    file[boundary] = '\x1a';
    ExpectTextModeLines(file, ("0x1A after " + at).c_str());
    file = base;
    file[boundary - 1] = '\x1a';
    ExpectTextModeLines(file, ("0x1A before " + at).c_str());
    file = base;
    file[boundary - 1] = '\r';
    file[boundary] = '\x1a';
    ExpectTextModeLines(file, ("CR then 0x1A across " + at).c_str());
    file = base;
    file[boundary - 1] = '"';
    file[boundary] = '\\';
    ExpectTextModeLines(file, ("escapes across " + at).c_str());
  }
}

// A few megabytes of many lines, LF and CR LF ends mixed, with bytes of every
// kind: the JSON text is exactly the expected one and parses to the lines.
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
  const auto json = LoadBytes(file, "large.text");
  ASSERT_TRUE(json);
  EXPECT_TRUE(*json == JsonArray(lines)) << "the JSON text differs";
  const auto parsed = json_check::ParseArray(*json);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->size(), lines.size());
  EXPECT_TRUE(*parsed == lines) << "the lines differ";
}

TEST_F(LoadLinesTest, ConcurrentCallsGetIdenticalResults) {
  std::string file;
  for (int i = 0; i < 3000; ++i)
    file += "line " + std::to_string(i) + "\t\"" + std::to_string(i * 7919 % 3000) +
            (i % 3 == 0 ? "\"\r\n" : "\"\n");
  WriteFile(dir_ / "shared.txt", file);
  const auto single = Load(dir_ / "shared.txt");
  ASSERT_TRUE(single);
  EXPECT_EQ(json_check::ParseArray(*single), TextModeLines(file));
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
