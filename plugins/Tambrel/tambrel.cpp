// Tambrel: script commands that load a dynamic library, look up a procedure
// in it, and free it.
//
// Handles and addresses go to the script as plain 32-bit integers and come
// back unchecked; nothing is recorded between calls. Each handler works in
// fixed buffers of its own call, so it neither allocates nor locks.
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
  const HMODULE module = LoadLibraryW(wide);
  SetIntParam(context, ToScript(module));
  UpdateCompareFlag(context, module != nullptr ? 1 : 0);
  return 0;
}

CommandStatus ORVO_CDECL FreeDynamicLibrary(HostContext context) noexcept {
  FreeLibrary(ModuleFromScript(GetIntParam(context)));
  return 0;
}

CommandStatus ORVO_CDECL GetDynamicLibraryProcedure(HostContext context) noexcept {
  char name[kNameSize];
  GetStringParam(context, name, kNameSize);
  name[kNameSize - 1] = '\0';
  const HMODULE module = ModuleFromScript(GetIntParam(context));
  const FARPROC procedure = GetProcAddress(module, name);
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
