// Tambrel in a real Windows process: start-up and the three library commands,
// loading probe.dll (built next to this executable) from temporary copies.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "support.h"

// Exported by the test executable, so that a lookup in the process's own
// image, which is what the system makes of handle 0, would find something.
extern "C" __declspec(dllexport) int __cdecl TambrelSelfAnswer() {
  return 2424;
}

namespace orvo_test {
namespace {

constexpr char kLoading[] = "log:Loading dynamic library ";
constexpr int kProbeAnswer = 4242;
constexpr std::size_t kNameLimit = 127;  // longest string argument the host hands on

using Answer = int(__cdecl*)();

int32_t ToInt(const void* pointer) {
  return static_cast<int32_t>(reinterpret_cast<std::uintptr_t>(pointer));
}
int32_t ToInt(FARPROC procedure) {
  return static_cast<int32_t>(reinterpret_cast<std::uintptr_t>(procedure));
}

int CallAnswer(int32_t address) {
  return reinterpret_cast<Answer>(static_cast<std::uintptr_t>(static_cast<uint32_t>(address)))();
}

// The module loaded from this file, as a script sees it; 0 when not loaded.
int32_t LoadedFrom(const std::string& path) {
  return ToInt(GetModuleHandleW(Wide(path).c_str()));
}

void CopyProbe(const std::string& to) {
  wchar_t exe[MAX_PATH];
  const std::wstring self(exe, GetModuleFileNameW(nullptr, exe, MAX_PATH));
  const std::wstring probe = self.substr(0, self.find_last_of(L'\\') + 1) + L"probe.dll";
  if (!CopyFileW(probe.c_str(), Wide(to).c_str(), FALSE))
    throw std::runtime_error("cannot copy probe.dll to " + to);
}

void MakeDirectory(const std::string& path) {
  if (!CreateDirectoryW(Wide(path).c_str(), nullptr))
    throw std::runtime_error("cannot create " + path);
}

// The host events of one LOAD_DYNAMIC_LIBRARY call.
std::vector<std::string> LoadEvents(const std::string& name, bool resolves) {
  std::vector<std::string> events{kLoading + name};
  if (resolves) events.push_back("resolve:" + name);
  return events;
}

class TambrelTest : public testing::Test {
 protected:
  void SetUp() override {
    TeskReset();
    TeskSetBase(dir_.path().c_str());
    tambrel_ = std::make_unique<Plugin>("Tambrel.orvo");
  }
  void TearDown() override { EXPECT_EQ(Violations(), std::vector<std::string>{}); }

  struct Called {
    Ran ran;
    std::vector<std::string> events;
  };
  // Runs one command and holds it to what every call keeps: no heap use,
  // status 0, no breach of the host contract.
  Called Call(const char* command, std::vector<TeskValue> inputs) {
    const std::size_t before = Events().size();
    const HeapDelta heap;
    Called called{orvo_test::Run(command, std::move(inputs)), {}};
    const TeskHeapCounts used = heap.Now();
    EXPECT_EQ(used.allocations, 0) << command;
    EXPECT_EQ(used.releases, 0) << command;
    EXPECT_EQ(called.ran.status, 0) << command;
    EXPECT_EQ(called.ran.violations, 0) << command;
    const std::vector<std::string> events = Events();
    called.events.assign(events.begin() + before, events.end());
    return called;
  }
  // The one integer output, with the flag set to whether it is not 0.
  static int32_t IntResult(const Ran& ran) {
    EXPECT_EQ(ran.outputs.size(), 1u);
    if (ran.outputs.size() != 1 || ran.outputs[0].rfind("i:", 0) != 0) {
      ADD_FAILURE() << "no integer output";
      return 0;
    }
    const int32_t value = std::stoi(ran.outputs[0].substr(2));
    EXPECT_EQ(ran.flag, value != 0 ? 1 : 0) << ran.outputs[0];
    return value;
  }

  struct Loaded {
    int32_t handle;
    std::vector<std::string> events;
  };
  Loaded Load(const std::string& name) {
    Called called = Call("LOAD_DYNAMIC_LIBRARY", {Str(name.c_str())});
    return {IntResult(called.ran), std::move(called.events)};
  }
  int32_t Procedure(const char* name, int32_t handle) {
    const Called called = Call("GET_DYNAMIC_LIBRARY_PROCEDURE", {Str(name), Int(handle)});
    EXPECT_EQ(called.events, std::vector<std::string>{});
    return IntResult(called.ran);
  }
  void Free(int32_t handle) {
    const Called called = Call("FREE_DYNAMIC_LIBRARY", {Int(handle)});
    EXPECT_EQ(called.ran.outputs, std::vector<std::string>{}) << handle;
    EXPECT_EQ(called.ran.flag, -1) << "the flag is never touched";
    EXPECT_EQ(called.events, std::vector<std::string>{});
  }

  TempDir dir_;
  std::unique_ptr<Plugin> tambrel_;
};

TEST_F(TambrelTest, StartUpLogsTheBannerThenRegistersTheCommands) {
  EXPECT_EQ(Events(),
            (std::vector<std::string>{"log:Tambrel plugin 2.1", "command:LOAD_DYNAMIC_LIBRARY:dll",
                                      "command:FREE_DYNAMIC_LIBRARY:dll",
                                      "command:GET_DYNAMIC_LIBRARY_PROCEDURE:dll"}));
}

TEST_F(TambrelTest, BareSystemNameLoadsThroughTheSearchOrder) {
  const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
  const Loaded loaded = Load("kernel32.dll");
  EXPECT_EQ(loaded.events, LoadEvents("kernel32.dll", false));
  EXPECT_EQ(loaded.handle, ToInt(kernel32));
  EXPECT_EQ(Procedure("GetCurrentProcessId", loaded.handle),
            ToInt(GetProcAddress(kernel32, "GetCurrentProcessId")));
  Free(loaded.handle);
}

TEST_F(TambrelTest, NamesWithADirectoryAreResolvedThenLoaded) {
  MakeDirectory(dir_ / "sub");
  CopyProbe(dir_ / "sub\\probe.dll");
  MakeDirectory(dir_ / "d\xc3\xafr \xe6\x97\xa5");
  CopyProbe(dir_ /
            "d\xc3\xafr \xe6\x97\xa5\\pr\xc3\xb8"
            "be \xe6\x97\xa5.dll");
  // A base so long that the resolved path takes all 259 bytes the host gives.
  ASSERT_LT(dir_.path().size(), 200u);
  const std::string longBase = dir_ / std::string(246 - dir_.path().size(), 'b');
  MakeDirectory(longBase);
  MakeDirectory(longBase + "\\l");
  CopyProbe(longBase + "\\l\\probe.dll");
  const struct {
    const char* label;
    std::string base;
    std::string name;
    std::string file;
  } cases[] = {
      {"slash", dir_.path(), "sub/probe.dll", dir_ / "sub\\probe.dll"},
      {"backslash", dir_.path(), "sub\\probe.dll", dir_ / "sub\\probe.dll"},
      {"absolute", dir_.path(), dir_ / "sub\\probe.dll", dir_ / "sub\\probe.dll"},
      {"non-ASCII", dir_.path(),
       dir_ / "d\xc3\xafr \xe6\x97\xa5\\pr\xc3\xb8"
              "be \xe6\x97\xa5.dll",
       dir_ / "d\xc3\xafr \xe6\x97\xa5\\pr\xc3\xb8"
              "be \xe6\x97\xa5.dll"},
      {"259-byte resolved path", longBase, "l/probe.dll", longBase + "\\l\\probe.dll"},
  };
  ASSERT_EQ(cases[4].base.size() + 1 + cases[4].name.size(), 259u);
  for (const auto& c : cases) {
    ASSERT_LE(c.name.size(), kNameLimit) << c.label;
    TeskSetBase(c.base.c_str());
    const Loaded loaded = Load(c.name);
    EXPECT_EQ(loaded.events, LoadEvents(c.name, true)) << c.label;
    EXPECT_NE(loaded.handle, 0) << c.label;
    EXPECT_EQ(loaded.handle, LoadedFrom(c.file)) << c.label;
    const int32_t answer = Procedure("ProbeAnswer", loaded.handle);
    ASSERT_NE(answer, 0) << c.label;
    EXPECT_EQ(CallAnswer(answer), kProbeAnswer) << c.label;
    Free(loaded.handle);
    EXPECT_EQ(LoadedFrom(c.file), 0) << c.label;
  }
}

TEST_F(TambrelTest, MissingLibraryGivesZeroAfterTheLogLine) {
  const struct {
    std::string name;
    bool resolves;
  } cases[] = {
      {"no-such-library.dll", false},
      {"missing/none.dll", true},
      {dir_ / "none.dll", true},
      {"%s%n%%", false},  // logged as the script gave it, never formatted
  };
  for (const auto& c : cases) {
    const Loaded loaded = Load(c.name);
    EXPECT_EQ(loaded.handle, 0) << c.name;
    EXPECT_EQ(loaded.events, LoadEvents(c.name, c.resolves)) << c.name;
  }
}

TEST_F(TambrelTest, LongNameIsCutThenLoggedResolvedAndLoaded) {
  // The first 127 bytes name a real library; the rest never arrives.
  ASSERT_LT(dir_.path().size(), 100u);
  const std::string file = "\\p.dll";
  const std::size_t padding = kNameLimit - dir_.path().size() - 1 - file.size();
  const std::string cut = dir_ / std::string(padding, 'c') + file;
  ASSERT_EQ(cut.size(), kNameLimit);
  MakeDirectory(dir_ / std::string(padding, 'c'));
  CopyProbe(cut);
  const std::string name = cut + std::string(200 - kNameLimit, 'x');
  const Loaded loaded = Load(name);
  EXPECT_EQ(loaded.events, LoadEvents(cut, true));
  EXPECT_NE(loaded.handle, 0);
  EXPECT_EQ(loaded.handle, LoadedFrom(cut));
  Free(loaded.handle);
}

TEST_F(TambrelTest, LongProcedureNameIsCutThenLookedUp) {
  CopyProbe(dir_ / "probe.dll");
  const int32_t handle = Load(dir_ / "probe.dll").handle;
  ASSERT_NE(handle, 0);
  // probe.dll exports this name of 127 bytes; the rest never arrives.
  const std::string cut = "ProbeLongName" + std::string(kNameLimit - 13, 'x');
  const int32_t address = Procedure((cut + "yz").c_str(), handle);
  EXPECT_NE(address, 0);
  EXPECT_EQ(address, Procedure(cut.c_str(), handle));
  EXPECT_EQ(CallAnswer(address), 127);
  Free(handle);
}

TEST_F(TambrelTest, LibraryLoadedTwiceStaysUntilFreedTwice) {
  CopyProbe(dir_ / "probe.dll");
  const std::string path = dir_ / "probe.dll";
  ASSERT_EQ(LoadedFrom(path), 0);
  const int32_t first = Load(path).handle;
  const int32_t second = Load(path).handle;
  EXPECT_NE(first, 0);
  EXPECT_EQ(second, first);
  Free(first);
  EXPECT_EQ(LoadedFrom(path), first);
  EXPECT_EQ(CallAnswer(Procedure("ProbeAnswer", first)), kProbeAnswer);
  Free(second);
  EXPECT_EQ(LoadedFrom(path), 0);
}

TEST_F(TambrelTest, NameTheLibraryDoesNotExportGivesZero) {
  CopyProbe(dir_ / "probe.dll");
  const int32_t handle = Load(dir_ / "probe.dll").handle;
  ASSERT_NE(handle, 0);
  for (const char* name : {"NoSuchProcedure", "probeanswer", "ProbeAnswerX"})
    EXPECT_EQ(Procedure(name, handle), 0) << name;
  Free(handle);
}

// Only handles that a load gave out reach the system: any other integer, the
// image base of a plug-in, the process's own image (handle 0), a module the
// process loaded itself, is freed as nothing and has no procedures.
TEST_F(TambrelTest, HandlesItDidNotGiveOutGoNowhere) {
  const HMODULE self = GetModuleHandleW(nullptr);
  const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
  ASSERT_NE(GetProcAddress(self, "TambrelSelfAnswer"), nullptr);
  const struct {
    const char* name;
    int32_t handle;
    const char* procedure;
  } cases[] = {
      {"0, the process's image", 0, "TambrelSelfAnswer"},
      {"this process", ToInt(self), "TambrelSelfAnswer"},
      {"Tambrel itself", ToInt(tambrel_->module()), "TambrelSelfAnswer"},
      {"kernel32, loaded by the process", ToInt(kernel32), "GetCurrentProcessId"},
      {"no module there", 0x12340000, "GetCurrentProcessId"},
      {"-1", -1, "GetCurrentProcessId"},
  };
  for (const auto& c : cases) {
    for (int i = 0; i < 3; ++i) Free(c.handle);
    EXPECT_EQ(Procedure(c.procedure, c.handle), 0) << c.name;
  }
  EXPECT_EQ(GetModuleHandleW(nullptr), self);
  EXPECT_EQ(GetModuleHandleW(L"kernel32.dll"), kernel32);
  // Still loaded: the system gives its procedure, and Tambrel's command runs.
  EXPECT_EQ(Procedure("GetCurrentProcessId", Load("kernel32.dll").handle),
            ToInt(GetProcAddress(kernel32, "GetCurrentProcessId")));
}

// A plug-in loaded once by a script and freed twice: the second free does
// nothing, so the plug-in the host loaded stays, and a freed handle has no
// procedures any more.
TEST_F(TambrelTest, FreeingMoreOftenThanLoadedDoesNothing) {
  const Plugin kesmet("Kesmet.orvo");
  wchar_t file[MAX_PATH];
  const std::string kesmetPath =
      Utf8(std::wstring(file, GetModuleFileNameW(kesmet.module(), file, MAX_PATH)));
  const int32_t handle = Load(kesmetPath).handle;
  ASSERT_EQ(handle, ToInt(kesmet.module()));
  Free(handle);
  Free(handle);
  EXPECT_EQ(LoadedFrom(kesmetPath), handle);
  const Ran ran = orvo_test::Run("READ_INT_FROM_INI_FILE", {Str("none.ini"), Str("s"), Str("k")});
  EXPECT_EQ(ran.outputs, std::vector<std::string>{"i:-2147483648"});

  CopyProbe(dir_ / "probe.dll");
  const int32_t probe = Load(dir_ / "probe.dll").handle;
  ASSERT_NE(Procedure("ProbeAnswer", probe), 0);
  Free(probe);
  EXPECT_EQ(LoadedFrom(dir_ / "probe.dll"), 0);
  EXPECT_EQ(Procedure("ProbeAnswer", probe), 0) << "a stale handle";
  Free(probe);
}

// The table holds 256 libraries. With it full, a library not in it gives 0
// and does not stay loaded; one in it loads again as usual.
TEST_F(TambrelTest, FullTableRefusesNewLibraries) {
  constexpr int kTableSize = 256;
  const auto copy = [&](int i) {
    return dir_ / std::string("p").append(std::to_string(i)).append(".dll");
  };
  std::vector<int32_t> handles;
  for (int i = 0; i <= kTableSize; ++i) CopyProbe(copy(i));
  for (int i = 0; i < kTableSize; ++i) {
    handles.push_back(Load(copy(i)).handle);
    ASSERT_NE(handles.back(), 0) << i;
  }
  const std::string extra = copy(kTableSize);
  SetEnvironmentVariableW(L"PROBE_STARTED", nullptr);
  EXPECT_EQ(Load(extra).handle, 0);
  EXPECT_EQ(LoadedFrom(extra), 0);
  EXPECT_EQ(GetEnvironmentVariableW(L"PROBE_STARTED", nullptr, 0), 0u)
      << "the library the table has no room for ran its start-up code";
  EXPECT_EQ(Load(copy(0)).handle, handles[0]);
  Free(handles[0]);
  EXPECT_EQ(LoadedFrom(copy(0)), handles[0]);
  for (const int32_t handle : handles) Free(handle);
  for (int i = 0; i < kTableSize; ++i) EXPECT_EQ(LoadedFrom(copy(i)), 0) << i;
  // Freed entries take new libraries again.
  const int32_t handle = Load(extra).handle;
  EXPECT_NE(handle, 0);
  Free(handle);
}

// A path the host cannot resolve within its 260 bytes comes back empty, and
// nothing is loaded: not a library under a cut name.
TEST_F(TambrelTest, PathTooLongForTheHostLoadsNothing) {
  ASSERT_LT(dir_.path().size(), 150u);
  const std::string base = dir_ / std::string(200 - dir_.path().size() - 1, 'b');
  MakeDirectory(base);
  const std::string name = "l/" + std::string(53, 'p') + ".dll";  // 200 + 1 + 59 = 260 bytes
  MakeDirectory(base + "\\l");
  CopyProbe(base + "\\l\\" + std::string(53, 'p') + ".dl");  // what a cut would name
  TeskSetBase(base.c_str());
  const Loaded loaded = Load(name);
  EXPECT_EQ(loaded.handle, 0);
  std::vector<std::string> events = LoadEvents(name, true);
  events.push_back("log:ResolvePath: " + base + "\\" + name +
                   " takes 260 bytes, more than the 259 that fit; gave the empty text");
  EXPECT_EQ(loaded.events, events);
}

}  // namespace
}  // namespace orvo_test
