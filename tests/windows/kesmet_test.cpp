// Kesmet in a real Windows process: start-up and the six INI commands on real
// files through the platform's private-profile functions.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "float_texts.h"
#include "ini_text.h"
#include "support.h"

namespace orvo_test {
namespace {

constexpr char kReadInt[] = "READ_INT_FROM_INI_FILE";
constexpr char kWriteInt[] = "WRITE_INT_TO_INI_FILE";
constexpr char kReadFloat[] = "READ_FLOAT_FROM_INI_FILE";
constexpr char kWriteFloat[] = "WRITE_FLOAT_TO_INI_FILE";
constexpr char kReadString[] = "READ_STRING_FROM_INI_FILE";
constexpr char kWriteString[] = "WRITE_STRING_TO_INI_FILE";
constexpr char kBom[] = "\xef\xbb\xbf";  // U+FEFF, how a UTF-16 file's mark reads in UTF-8
constexpr char kEuro[] = "\xe2\x82\xac";
constexpr char kGrin[] = "\xf0\x9f\x98\x80";  // a surrogate pair in UTF-16
constexpr char kUtf8Mark[] = "\xef\xbb\xbf";

std::string Repeat(const std::string& text, int count) {
  std::string repeated;
  for (int i = 0; i < count; ++i) repeated += text;
  return repeated;
}

// The bytes of a UTF-16LE file with its byte-order mark, from UTF-8 text.
std::string Utf16File(const std::string& utf8) {
  const std::wstring wide = Wide(kBom + utf8);
  return std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t));
}

// The text of a file with the one section s.
std::string Ini(const std::string& lines) {
  return "[s]\r\n" + lines + "\r\n";
}

// A file's text as UTF-8: UTF-16LE (mark included) when it starts with the
// mark, else its bytes. nullopt when there is no file.
std::optional<std::string> FileText(const std::string& path) {
  const std::optional<std::string> bytes = ReadFile(path);
  if (!bytes || bytes->rfind("\xff\xfe", 0) != 0) return bytes;
  return Utf8(std::wstring(reinterpret_cast<const wchar_t*>(bytes->data()),
                           bytes->size() / sizeof(wchar_t)));
}

// One command on one file: the file's bytes before (none: no file), the
// command's value argument (write commands), what the script gets back, and
// the file's text afterwards (none: no file). A read must leave it unchanged.
struct Case {
  const char* name;
  std::optional<std::string> before;
  const char* command;
  std::vector<TeskValue> value;
  std::vector<std::string> outputs;
  int32_t flag;
  std::optional<std::string> after = {};
  std::string file = "t.ini";
  std::string section = "s";
  std::string key = "k";
};

class KesmetTest : public testing::Test {
 protected:
  void SetUp() override {
    TeskReset();
    kesmet_ = std::make_unique<Plugin>("Kesmet.orvo");
  }
  void TearDown() override {
    EXPECT_EQ(Violations(), std::vector<std::string>{});
    kesmet_.reset();
  }

  // Runs the command, checking what every call must hold: status 0, no breach
  // of the host contract, and no heap use at all.
  static Ran Call(const char* command, std::vector<TeskValue> inputs) {
    const HeapDelta heap;
    const Ran ran = orvo_test::Run(command, std::move(inputs));
    const TeskHeapCounts used = heap.Now();
    EXPECT_EQ(used.allocations, 0) << command;
    EXPECT_EQ(used.releases, 0) << command;
    EXPECT_EQ(ran.status, 0) << command;
    EXPECT_EQ(ran.violations, 0) << command;
    return ran;
  }

  void Check(const Case& c) {
    const TempDir dir;
    const std::string path = dir / c.file;
    if (c.before) WriteFile(path, *c.before);
    std::vector<TeskValue> inputs = c.value;
    for (const std::string* text : {&path, &c.section, &c.key})
      inputs.push_back(Str(text->c_str()));
    const Ran ran = Call(c.command, inputs);
    EXPECT_EQ(ran.outputs, c.outputs) << c.name;
    EXPECT_EQ(ran.flag, c.flag) << c.name;
    if (c.value.empty())
      EXPECT_EQ(ReadFile(path), c.before) << c.name << ": a read changes nothing";
    else
      EXPECT_EQ(FileText(path), c.after) << c.name;
    const bool fileStays = (c.value.empty() ? c.before : c.after).has_value();
    EXPECT_EQ(Listing(dir.path()), fileStays ? std::vector{c.file} : std::vector<std::string>{})
        << c.name << ": nothing else is created";
  }

  std::unique_ptr<Plugin> kesmet_;
};

TEST(KesmetStartTest, LogsBannerThenRegistersTheSixCommands) {
  TeskReset();
  Plugin kesmet("Kesmet.orvo");
  EXPECT_EQ(Events(), (std::vector<std::string>{
                          "log:Kesmet plugin 1.3",
                          "command:READ_INT_FROM_INI_FILE:fs",
                          "command:WRITE_INT_TO_INI_FILE:fs",
                          "command:READ_FLOAT_FROM_INI_FILE:fs",
                          "command:WRITE_FLOAT_TO_INI_FILE:fs",
                          "command:READ_STRING_FROM_INI_FILE:fs",
                          "command:WRITE_STRING_TO_INI_FILE:fs",
                      }));
}

TEST_F(KesmetTest, EdgeCases) {
  const std::string digits = Repeat("0123456789", 20);
  const std::string first127 = digits.substr(0, 127);
  // Whole, the exponent is 5 and 72 zeros, an infinity; the first 127
  // characters end before the 5.
  const std::string longNumber = "1e" + std::string(125, '0') + "5" + std::string(72, '0');
  const std::string noDirectory = "missing\\t.ini";
  const Case cases[] = {
      {"int, missing key", Ini("other=1"), kReadInt, {}, {"i:-2147483648"}, 0},
      {"int, missing file", {}, kReadInt, {}, {"i:-2147483648"}, 0},
      {"float, missing file", {}, kReadFloat, {}, {"f:0"}, 0},
      {"string, missing file", {}, kReadString, {}, {"s:"}, 0},
      {"int, -2147483648", Ini("k=-2147483648"), kReadInt, {}, {"i:-2147483648"}, 0},
      {"int, 42", Ini("k=42"), kReadInt, {}, {"i:42"}, 1},
      {"write int -5, new file", {}, kWriteInt, {Int(-5)}, {}, 1, Ini("k=-5")},
      {"write int 42 over 7", Ini("k=7"), kWriteInt, {Int(42)}, {}, 1, Ini("k=42")},
      {"write smallest int", {}, kWriteInt, {Int(INT32_MIN)}, {}, 1, Ini("k=-2147483648")},
      {"write float 1234567", {}, kWriteFloat, {Float(1234567.0f)}, {}, 1, Ini("k=1.23457e+06")},
      {"float, six digits back", Ini("k=1.23457e+06"), kReadFloat, {}, {"f:1234570"}, 1},
      {"float, number then text", Ini("k=2.5xyz"), kReadFloat, {}, {"f:2.5"}, 1},
      {"float, no number", Ini("k=abc"), kReadFloat, {}, {"f:0"}, 1},
      {"float, empty text", Ini("k="), kReadFloat, {}, {"f:0"}, 0},
      {"float, missing key", Ini("other=1"), kReadFloat, {}, {"f:0"}, 0},
      {"float, 127 characters parsed", Ini("k=" + longNumber), kReadFloat, {}, {"f:1"}, 1},
      {"string", Ini("k=hello world"), kReadString, {}, {"s:hello world"}, 1},
      {"string, empty text", Ini("k="), kReadString, {}, {"s:"}, 0},
      {"string, missing section", "[t]\r\nk=x\r\n", kReadString, {}, {"s:"}, 0},
      {"string, 200 characters", Ini("k=" + digits), kReadString, {}, {"s:" + first127}, 1},
      {"write empty string keeps the key", Ini("k=old"), kWriteString, {Str("")}, {}, 1, Ini("k=")},
      {"write string, new file", {}, kWriteString, {Str("v")}, {}, 1, Ini("k=v")},
      {"write int, no directory", {}, kWriteInt, {Int(1)}, {}, 0, {}, noDirectory},
      {"write float, no directory", {}, kWriteFloat, {Float(1)}, {}, 0, {}, noDirectory},
      {"write string, no directory", {}, kWriteString, {Str("v")}, {}, 0, {}, noDirectory},
  };
  for (const Case& c : cases) Check(c);
}

// Writes the platform would store as other lines, keys or sections, or
// that its reader cannot give back, store nothing: a file stays as it was,
// and none is created.
TEST_F(KesmetTest, RefusesWritesThatDoNotReadBack) {
  const std::string old = Ini("k=old");
  const struct {
    const char* name;
    std::string section, key, value;
  } refused[] = {
      {"lines in the value", "user", "name", "ok\r\n[admin]\r\npassword=pwned"},
      {"LF in the value", "s", "k", "a\nb"},
      {"CR in the value", "s", "k", "a\rb"},
      {"LF in the key", "s", "k\nx", "v"},
      {"CR in the section", "s\r", "k", "v"},
      {"= in the key", "s", "a=b", "v1"},
      {"key starting a section", "s", "[k", "v"},
      {"key starting a comment", "s", ";k", "v"},
      {"after blanks the platform trims", "s", " \t\x1a[k", "v"},
      {"after a Unicode blank", "s", "\xe3\x80\x80;k", "v"},
      {"] in the section", "a]b", "k", "v"},
  };
  for (const auto& r : refused) {
    for (const std::optional<std::string>& before : {std::optional<std::string>{}, {old}})
      Check({r.name,
             before,
             kWriteString,
             {Str(r.value.c_str())},
             {},
             0,
             before,
             "t.ini",
             r.section,
             r.key});
  }
}

// What the platform only trims or unquotes is written, and so is what merely
// looks like a comment to other readers.
TEST_F(KesmetTest, KeepsWritingWhatThePlatformOnlyTrims) {
  const TempDir dir;
  const std::string path = dir / "t.ini";
  const struct {
    std::string key, value, readBack;
  } kept[] = {
      {"blanks", "  v  ", "v"}, {"dq", "\"v\"", "v"},
      {"sq", "'v'", "v"},       {"inner", "\"a\" \"b\"", "a\" \"b"},
      {"#k", "hash", "hash"},   {"k;x", "v=w;c", "v=w;c"},
      {"a[b]", "x", "x"},
  };
  for (const auto& k : kept) {
    EXPECT_EQ(
        Call(kWriteString, {Str(k.value.c_str()), Str(path.c_str()), Str("s"), Str(k.key.c_str())})
            .flag,
        1)
        << k.key;
    EXPECT_EQ(Call(kReadString, {Str(path.c_str()), Str("s"), Str(k.key.c_str())}).outputs,
              std::vector<std::string>{"s:" + k.readBack})
        << k.key;
  }
}

// A file is Unicode when it starts with the UTF-16 LE mark; any other holds
// what the ANSI code page maps exactly. Text it cannot hold is refused: a
// write stores nothing, a read gives the missing result.
TEST_F(KesmetTest, RefusesTextTheFileCannotHold) {
  const std::string any = std::string("caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac ") + kGrin;
  const std::string cutKey = std::string(126, 'a') + "\xc3\xa9";  // cut after 127 bytes
  const std::string ansi = Ini("k=old");
  std::vector<Case> cases = {
      {"new file", {}, kWriteString, {Str(any.c_str())}, {}, 0},
      {"ANSI file", ansi, kWriteString, {Str(any.c_str())}, {}, 0, ansi},
      {"UTF-8 mark", kUtf8Mark + ansi, kWriteString, {Str(kGrin)}, {}, 0, kUtf8Mark + ansi},
      {"section", {}, kWriteInt, {Int(1)}, {}, 0, {}, "t.ini", kGrin},
      {"key", {}, kWriteFloat, {Float(1)}, {}, 0, {}, "t.ini", "s", kGrin},
      {"key cut in a character", {}, kWriteString, {Str("v")}, {}, 0, {}, "t.ini", "s", cutKey},
      {"UTF-16 file",
       Utf16File(""),
       kWriteString,
       {Str(any.c_str())},
       {},
       1,
       kBom + Ini("k=" + any)},
      {"ASCII, new file", {}, kWriteString, {Str("plain")}, {}, 1, Ini("k=plain")},
      // In an ANSI file the key would be looked up as "??" and found.
      {"read key", Ini("?\?=found"), kReadString, {}, {"s:"}, 0, {}, "t.ini", "s", kGrin},
      {"read section", "[?\?]\r\nk=1\r\n", kReadInt, {}, {"i:-2147483648"}, 0, {}, "t.ini", kGrin},
      {"read, UTF-16 file",
       Utf16File(Ini(std::string(kGrin) + "=found")),
       kReadString,
       {},
       {"s:found"},
       1,
       {},
       "t.ini",
       "s",
       kGrin},
  };
  // Code page 1252, Wine's for an English or C locale: what it holds and what
  // it has only a best-fit look-alike for (A for A with macron).
  if (GetACP() == 1252) {
    cases.push_back(
        {"cp1252 holds", {}, kWriteString, {Str("caf\xc3\xa9")}, {}, 1, Ini("k=caf\xe9")});
    cases.push_back({"best fit only", {}, kWriteString, {Str("\xc4\x80")}, {}, 0});
  }
  for (const Case& c : cases) Check(c);
}

// A device takes every write and keeps nothing, or is a port: refused, in
// any case, with or without an extension. (Nothing here opens a device, not
// even to look: reading COM1 would wait for a port.)
TEST_F(KesmetTest, RefusesDevices) {
  const TempDir dir;
  // "nul\." and "NUL.\." name the device once made full.
  for (const char* device : {"NUL", "COM1", "AUX.ini", "con", "prn.txt", "lpt9.ini", "CONIN$",
                             "conout$.ini", "Com3 .ini", "nul\\.", "NUL.\\."}) {
    const std::string path = dir / device;
    EXPECT_EQ(Call(kWriteInt, {Int(1), Str(path.c_str()), Str("s"), Str("k")}).flag, 0) << device;
    const Ran read = Call(kReadString, {Str(path.c_str()), Str("s"), Str("k")});
    EXPECT_EQ(read.outputs, std::vector<std::string>{"s:"}) << device;
    EXPECT_EQ(read.flag, 0) << device;
  }
  EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{});
  for (const char* file : {"COM10.ini", "console.ini", "nul1"})
    Check({file, {}, kWriteInt, {Int(1)}, {}, 1, Ini("k=1"), file});
}

// A pipe with a server waiting answers an open like a file, and a read from
// it waits for good: Kesmet refuses it by its name, under either separator,
// without opening it.
TEST_F(KesmetTest, RefusesPipes) {
  const std::string name = "kesmet-test-" + std::to_string(GetCurrentProcessId());
  const HANDLE server =
      CreateNamedPipeW(Wide("\\\\.\\pipe\\" + name).c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE,
                       PIPE_UNLIMITED_INSTANCES, 512, 512, 0, nullptr);
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  for (const std::string& path : {"\\\\.\\pipe\\" + name, "//./pipe/" + name}) {
    EXPECT_EQ(Call(kWriteString, {Str("v"), Str(path.c_str()), Str("s"), Str("k")}).flag, 0)
        << path;
    EXPECT_EQ(Call(kReadString, {Str(path.c_str()), Str("s"), Str("k")}).flag, 0) << path;
  }
  CloseHandle(server);
}

// The host gives the empty text for a path whose full form does not fit its
// 260 bytes: nothing is read or written, and the host's log says why.
TEST_F(KesmetTest, PathTooLongForTheHost) {
  const TempDir dir;
  ASSERT_LT(dir.path().size(), 150u);
  const std::string base = dir / std::string(200 - dir.path().size() - 1, 'd');
  ASSERT_TRUE(CreateDirectoryW(Wide(base).c_str(), nullptr));
  TeskSetBase(base.c_str());
  const std::string fits = std::string(58 - 4, 'n') + ".ini";  // 200 + 1 + 58 = 259 bytes
  const std::string over = std::string(59 - 4, 'n') + ".ini";
  const std::vector<std::string> banner = LogLines();
  EXPECT_EQ(Call(kWriteInt, {Int(1), Str(fits.c_str()), Str("s"), Str("k")}).flag, 1);
  EXPECT_EQ(LogLines(), banner);
  EXPECT_EQ(Call(kWriteInt, {Int(1), Str(over.c_str()), Str("s"), Str("k")}).flag, 0);
  EXPECT_EQ(Call(kReadInt, {Str(fits.c_str()), Str("s"), Str("k")}).outputs,
            std::vector<std::string>{"i:1"});
  EXPECT_EQ(Listing(base), std::vector<std::string>{fits});
  std::vector<std::string> log = banner;
  log.push_back("ResolvePath: " + base + "\\" + over +
                " takes 260 bytes, more than the 259 that fit; gave the empty text");
  EXPECT_EQ(LogLines(), log);
  DeleteFileW(Wide(base + "\\" + fits).c_str());
  RemoveDirectoryW(Wide(base).c_str());
}

// Two processes write 150 keys each into one file of 300 keys at once, one
// naming it in upper case: every key stays, each write gives flag 1.
TEST_F(KesmetTest, TwoProcessesWritingOneFileLoseNothing) {
  constexpr int kOld = 300, kEach = 150;
  const TempDir dir;
  const std::string path = dir / "shared.ini";
  std::string upper = path;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  ASSERT_NE(upper, path);
  std::vector<std::string> lines{"[s]"};
  for (int i = 0; i < kOld; ++i)
    lines.push_back("old" + std::to_string(i) + "=" + std::to_string(i));
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  WriteFile(path, text);

  const std::wstring tag = std::to_wstring(GetCurrentProcessId());
  const std::wstring readyName = L"Local\\kesmet-test-ready-" + tag;
  const std::wstring goName = L"Local\\kesmet-test-go-" + tag;
  const HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, readyName.c_str());
  const HANDLE go = CreateEventW(nullptr, TRUE, FALSE, goName.c_str());
  ASSERT_TRUE(ready != nullptr && go != nullptr);
  wchar_t self[MAX_PATH], plugin[MAX_PATH];
  const std::wstring exe(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
  GetModuleFileNameW(kesmet_->module(), plugin, MAX_PATH);
  const std::wstring writer = exe.substr(0, exe.find_last_of(L'\\') + 1) + L"kesmet_writer.exe";
  std::wstring command = L"\"" + writer + L"\" \"" + plugin + L"\" \"" + Wide(upper) + L"\" b " +
                         std::to_wstring(kEach) + L" " + readyName + L" " + goName;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  ASSERT_TRUE(CreateProcessW(writer.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             nullptr, &startup, &process));
  const HANDLE started[] = {ready, process.hProcess};
  ASSERT_EQ(WaitForMultipleObjects(2, started, FALSE, INFINITE), WAIT_OBJECT_0)
      << "the writer ended before it was ready";
  SetEvent(go);
  for (int i = 0; i < kEach; ++i) {
    const std::string key = std::string("a").append(std::to_string(i));
    EXPECT_EQ(Call(kWriteInt, {Int(i), Str(path.c_str()), Str("s"), Str(key.c_str())}).flag, 1);
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD failed = 1;
  GetExitCodeProcess(process.hProcess, &failed);
  EXPECT_EQ(failed, 0u) << "writes of the other process that gave flag 0";
  for (const HANDLE handle : {process.hProcess, process.hThread, ready, go}) CloseHandle(handle);

  for (const char* prefix : {"a", "b"})
    for (int i = 0; i < kEach; ++i)
      lines.push_back(prefix + std::to_string(i) + "=" + std::to_string(i));
  std::vector<std::string> written;
  const std::string after = ReadFile(path).value_or("");
  for (std::size_t start = 0, end; (end = after.find("\r\n", start)) != std::string::npos;
       start = end + 2)
    written.push_back(after.substr(start, end - start));
  std::sort(lines.begin(), lines.end());
  std::sort(written.begin(), written.end());
  EXPECT_EQ(written, lines);
}

TEST_F(KesmetTest, WritesFloatsAsC99Does) {
  for (const FloatText& f : kFloatTexts)
    Check({f.text, {}, kWriteFloat, {Float(f.value)}, {}, 1, Ini(std::string("k=") + f.text)});
}

// The float text comes from the toolchain's C99 printf, linked into the
// DLL; compared here, on Windows, with an independent exactly rounding
// formatter over many floats (NaNs, all written "nan", are in the table).
TEST(KesmetFloatText, ToolchainPrintfIsExactlyRounded) {
  std::mt19937 random(2024);
  for (int round = 0; round < 200000; ++round) {
    const float value = std::bit_cast<float>(static_cast<std::uint32_t>(random()));
    if (std::isnan(value)) continue;
    Utf16Unit wide[128];
    FormatIniFloat(value, wide);
    char expected[64];
    *std::to_chars(expected, expected + sizeof expected - 1, static_cast<double>(value),
                   std::chars_format::general, 6)
         .ptr = '\0';
    ASSERT_EQ(Utf8(wide), expected) << std::bit_cast<std::uint32_t>(value);
  }
}

TEST_F(KesmetTest, ReadsFloatsAsC99Does) {
  const struct {
    const char* text;
    const char* value;
  } texts[] = {
      {"0x1p3", "f:8"},   {"-0x1.8p1", "f:-3"},   {"inf", "f:inf"},  {"infinity", "f:inf"},
      {"-INF", "f:-inf"}, {"nan", "f:nan"},       {"1e50", "f:inf"}, {"-1e50", "f:-inf"},
      {"1e-50", "f:0"},   {"+7.25e0x", "f:7.25"},
  };
  for (const auto& t : texts)
    Check({t.text, Ini(std::string("k=") + t.text), kReadFloat, {}, {t.value}, 1});
}

// The string result holds 127 bytes of UTF-8; the read text can need more.
TEST_F(KesmetTest, ReadStringCutsOnWholeCharacters) {
  const auto file = [](const std::string& value) { return Utf16File(Ini("k=" + value)); };
  const std::string a123(123, 'a');
  const Case cases[] = {
      {"127 euro signs", file(Repeat(kEuro, 127)), kReadString, {}, {"s:" + Repeat(kEuro, 42)}, 1},
      {"pair across the cut", file(a123 + "a" + kGrin), kReadString, {}, {"s:" + a123 + "a"}, 1},
      {"pair just fits", file(a123 + kGrin + "b"), kReadString, {}, {"s:" + a123 + kGrin}, 1},
      // The platform's cut at 127 units leaves the pair's first half alone.
      {"split by the read", file(a123 + "aaa" + kGrin), kReadString, {}, {"s:" + a123 + "aaa"}, 1},
  };
  for (const Case& c : cases) Check(c);
}

// The host cuts a string argument at 127 bytes, here right after the first
// byte of a character: that lone byte reaches the platform as U+FFFD.
TEST_F(KesmetTest, ArgumentsCutInsideACharacter) {
  const std::string a126(126, 'a');
  const std::string eacute = a126 + "\xc3\xa9";        // a two-byte character
  const std::string euro = a126 + kEuro;               // three bytes
  const std::string grin = a126 + kGrin;               // four bytes
  const std::string replaced = a126 + "\xef\xbf\xbd";  // U+FFFD
  const std::string sectionFile = "[" + replaced + "]\r\nk=v\r\n";
  const Case cases[] = {
      {"section, write",
       Utf16File(""),
       kWriteString,
       {Str("v")},
       {},
       1,
       kBom + sectionFile,
       "t.ini",
       eacute},
      {"section, read", Utf16File(sectionFile), kReadString, {}, {"s:v"}, 1, {}, "t.ini", eacute},
      {"key, write",
       Utf16File(""),
       kWriteString,
       {Str("v")},
       {},
       1,
       kBom + Ini(replaced + "=v"),
       "t.ini",
       "s",
       euro},
      {"key, read",
       Utf16File(Ini(replaced + "=v")),
       kReadString,
       {},
       {"s:v"},
       1,
       {},
       "t.ini",
       "s",
       euro},
      {"value",
       Utf16File(""),
       kWriteString,
       {Str(grin.c_str())},
       {},
       1,
       kBom + Ini("k=" + replaced)},
  };
  for (const Case& c : cases) Check(c);
}

// The same for a path: the file is created under the cut name.
TEST_F(KesmetTest, PathCutInsideACharacter) {
  const TempDir dir;
  const std::string stem = dir / std::string(126 - dir.path().size() - 1, 'p');
  ASSERT_EQ(stem.size(), 126u);
  const std::string path = stem + "\xc3\xa9.ini";
  EXPECT_EQ(Call(kWriteInt, {Int(7), Str(path.c_str()), Str("s"), Str("k")}).flag, 1);
  EXPECT_EQ(Call(kReadInt, {Str(path.c_str()), Str("s"), Str("k")}).outputs,
            std::vector<std::string>{"i:7"});
  const std::string created = stem.substr(dir.path().size() + 1) + "\xef\xbf\xbd";
  EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{created});
  EXPECT_EQ(FileText(dir / created), Ini("k=7"));
}

TEST_F(KesmetTest, NonAsciiPathSectionKeyAndValue) {
  const std::string file = "s\xc3\xa9t " + std::string(kEuro) + ".ini";
  const std::string section = "Z\xc3\xbcrich \xe6\x97\xa5";
  const std::string key = "cl\xc3\xa9";
  const std::string value = "v\xc3\xa4rde " + std::string(kEuro) + kGrin;
  const std::string text = "[" + section + "]\r\n" + key + "=" + value + "\r\n";
  // The platform writes UTF-16 into a file that already is UTF-16.
  Check({"write",
         Utf16File(""),
         kWriteString,
         {Str(value.c_str())},
         {},
         1,
         kBom + text,
         file,
         section,
         key});
  Check({"read", Utf16File(text), kReadString, {}, {"s:" + value}, 1, {}, file, section, key});
  Check({"write int", {}, kWriteInt, {Int(7)}, {}, 1, Ini("k=7"), file});
}

TEST_F(KesmetTest, RelativePathIsResolvedByTheHost) {
  const TempDir dir;
  TeskSetBase(dir.path().c_str());
  EXPECT_EQ(Call(kWriteInt, {Int(42), Str("rel.ini"), Str("s"), Str("k")}).flag, 1);
  EXPECT_EQ(Call(kReadInt, {Str("rel.ini"), Str("s"), Str("k")}).outputs,
            std::vector<std::string>{"i:42"});
  EXPECT_EQ(FileText(dir / "rel.ini"), Ini("k=42"));
  const std::vector<std::string> events = Events();
  EXPECT_EQ(std::count(events.begin(), events.end(), "resolve:rel.ini"), 2);
}

// Windows' msvcrt.dll writes "1e+006" and "1.#INF" and lacks C99 parsing;
// Wine's copy does not, so only the import table shows the DLL avoids it.
TEST_F(KesmetTest, NumberTextsDoNotComeFromMsvcrt) {
  const auto* base = reinterpret_cast<const BYTE*>(kesmet_->module());
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
      base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  std::vector<std::string> imported;
  for (auto* entry =
           reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
       entry->Name != 0; ++entry) {
    if (lstrcmpiA(reinterpret_cast<const char*>(base + entry->Name), "msvcrt.dll") != 0) continue;
    for (auto* thunk = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
         thunk->u1.AddressOfData != 0; ++thunk)
      if (!IMAGE_SNAP_BY_ORDINAL(thunk->u1.Ordinal))
        imported.emplace_back(reinterpret_cast<const char*>(
            reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + thunk->u1.AddressOfData)->Name));
  }
  ASSERT_NE(std::find(imported.begin(), imported.end(), "malloc"), imported.end()) << "no table";
  for (const char* name :
       {"wcstof", "wcstod", "strtof", "strtod", "swprintf", "_swprintf", "_snwprintf", "vswprintf",
        "_vsnwprintf", "sprintf", "_snprintf", "_vsnprintf", "vsprintf"})
    EXPECT_EQ(std::find(imported.begin(), imported.end(), name), imported.end()) << name;
}

}  // namespace
}  // namespace orvo_test
