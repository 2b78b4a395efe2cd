// Tambrel: script commands that load a dynamic library, look up a procedure
// in it, and free it.
//
// Handles and addresses go to the script as plain 32-bit integers. A script
// can hand back any integer, so Tambrel keeps the one state a plug-in keeps
// after start-up: a table of the handles it gave out, each with how many
// times it was loaded. Freeing or looking up goes to the system only for a
// handle in the table, and freeing no more often than it was loaded, so no
// integer unloads a module the script did not load (the host, a plug-in under
// its own running handler). The table is fixed static storage under a slim
// lock that needs no set-up; the handlers allocate nothing.
#include <windows.h>

#include <cstdint>
#include <cstring>

#include "orvo_host.h"

namespace {

constexpr char kBanner[] = "Tambrel plugin " ORVO_PLUGIN_VERSION;
constexpr char kCategory[] = "dll";
constexpr char kLoadingPrefix[] = "Loading dynamic library ";
constexpr int32_t kNameSize = 128;
constexpr std::size_t kLogLineSize = 256;
constexpr int kResolvedPathSize = 260;
constexpr int kWidePathUnits = 260;
// Libraries loaded at once; a load beyond that gives 0.
constexpr std::size_t kTableSize = 256;

struct Loaded {
  HMODULE module;  // nullptr: a free entry
  uint32_t loads;
};

Loaded gLoaded[kTableSize];
SRWLOCK gLoadedLock = SRWLOCK_INIT;

static_assert(sizeof kLoadingPrefix + kNameSize - 1 <= kLogLineSize,
              "the longest name fits the log line");
// MultiByteToWideChar makes at most one unit of each byte, terminator included.
static_assert(kResolvedPathSize <= kWidePathUnits && kNameSize <= kWidePathUnits,
              "every path text fits the wide buffer");
// A script gets handles and addresses back as the host's 32-bit integers and
// hands them to FreeLibrary again: only pointers of that width survive the trip.
static_assert(sizeof(void*) == sizeof(int32_t), "Tambrel is built for 32-bit Windows only");

int32_t ToScript(HMODULE module) {
  return static_cast<int32_t>(reinterpret_cast<std::uintptr_t>(module));
}

int32_t ToScript(FARPROC procedure) {
  return static_cast<int32_t>(reinterpret_cast<std::uintptr_t>(procedure));
}

HMODULE ModuleFromScript(int32_t handle) {
  return reinterpret_cast<HMODULE>(static_cast<std::uintptr_t>(static_cast<uint32_t>(handle)));
}

// The name is copied, not formatted, so that '%' in it reaches the log as is.
void LogLoading(const char* name) {
  char line[kLogLineSize];
  constexpr std::size_t prefixLength = sizeof kLoadingPrefix - 1;
  std::memcpy(line, kLoadingPrefix, prefixLength);
  std::memcpy(line + prefixLength, name, std::strlen(name) + 1);
  Log(line);
}

// The entry of module, or nullptr; the lock held.
Loaded* Find(HMODULE module) {
  for (Loaded& entry : gLoaded)
    if (entry.module == module) return &entry;
  return nullptr;
}

// Counts one more load of module; false when the table has no room for it.
bool Record(HMODULE module) {
  AcquireSRWLockExclusive(&gLoadedLock);
  Loaded* entry = Find(module);
  if (entry == nullptr) {
    entry = Find(nullptr);
    if (entry != nullptr) *entry = {module, 0};
  }
  if (entry != nullptr) ++entry->loads;
  ReleaseSRWLockExclusive(&gLoadedLock);
  return entry != nullptr;
}

// True when a load of the library at path can be remembered: the table has a
// free entry, or the library is loaded already and in it. Asked before
// loading, so that a library the table has no room for never runs its
// start-up code; Record still refuses one that another thread made no room
// for in between.
bool HasRoomFor(const wchar_t* path) {
  const HMODULE loaded = GetModuleHandleW(path);
  AcquireSRWLockShared(&gLoadedLock);
  const bool room = Find(nullptr) != nullptr || (loaded != nullptr && Find(loaded) != nullptr);
  ReleaseSRWLockShared(&gLoadedLock);
  return room;
}

bool HasSeparator(const char* name) {
  return std::strpbrk(name, "/\\") != nullptr;
}

CommandStatus ORVO_CDECL LoadDynamicLibrary(HostContext context) noexcept {
  char name[kNameSize];
  GetStringParam(context, name, kNameSize);
  name[kNameSize - 1] = '\0';  // the host terminates the text; this bounds every read below
  LogLoading(name);
  // A bare name goes to the system's own search order; anything with a
  // directory part is the script's path and the host resolves it.
  char resolved[kResolvedPathSize];
  const char* path = name;
  if (HasSeparator(name)) {
    ResolvePath(name, resolved);
    resolved[kResolvedPathSize - 1] = '\0';
    path = resolved;
  }
  wchar_t wide[kWidePathUnits];
  MultiByteToWideChar(CP_UTF8, 0, path, -1, wide, kWidePathUnits);
  // The host gives the empty text for a path it cannot resolve.
  HMODULE module = path[0] != '\0' && HasRoomFor(wide) ? LoadLibraryW(wide) : nullptr;
  if (module != nullptr && !Record(module)) {
    FreeLibrary(module);  // no room to remember it: it does not stay
    module = nullptr;
  }
  SetIntParam(context, ToScript(module));
  UpdateCompareFlag(context, module != nullptr ? 1 : 0);
  return 0;
}

// The count goes down under the exclusive lock, which waits for lookups that
// found the module; the system frees it after, so that the library's own
// shutdown code never runs under the lock.
CommandStatus ORVO_CDECL FreeDynamicLibrary(HostContext context) noexcept {
  const HMODULE module = ModuleFromScript(GetIntParam(context));
  AcquireSRWLockExclusive(&gLoadedLock);
  Loaded* entry = module != nullptr ? Find(module) : nullptr;
  if (entry != nullptr && --entry->loads == 0) entry->module = nullptr;
  ReleaseSRWLockExclusive(&gLoadedLock);
  if (entry != nullptr) FreeLibrary(module);
  return 0;
}

CommandStatus ORVO_CDECL GetDynamicLibraryProcedure(HostContext context) noexcept {
  char name[kNameSize];
  GetStringParam(context, name, kNameSize);
  name[kNameSize - 1] = '\0';
  const HMODULE module = ModuleFromScript(GetIntParam(context));
  AcquireSRWLockShared(&gLoadedLock);
  const FARPROC procedure =
      module != nullptr && Find(module) != nullptr ? GetProcAddress(module, name) : nullptr;
  ReleaseSRWLockShared(&gLoadedLock);
  SetIntParam(context, ToScript(procedure));
  UpdateCompareFlag(context, procedure != nullptr ? 1 : 0);
  return 0;
}

void InitializeTambrel() noexcept {
  Log(kBanner);
  RegisterCommand("LOAD_DYNAMIC_LIBRARY", &LoadDynamicLibrary, kCategory);
  RegisterCommand("FREE_DYNAMIC_LIBRARY", &FreeDynamicLibrary, kCategory);
  RegisterCommand("GET_DYNAMIC_LIBRARY_PROCEDURE", &GetDynamicLibraryProcedure, kCategory);
}

[[maybe_unused]] const bool kStarted = (InitializeTambrel(), true);

}  // namespace
