// faulty.orvo: a plug-in that breaks the host contract on purpose, one way
// per command, so that the host simulator's checks can be seen to catch it;
// and ECHO, which keeps the contract and hands its string input back, so that
// any text can be seen as the simulator prints it.
#include <windows.h>

#include <malloc.h>

#include <cstdlib>

#include "orvo_host.h"

namespace {

char gNotFromAllocMem[] = "[]";

CommandStatus ORVO_CDECL Leak(HostContext context) noexcept {
  SetIntParam(context, std::malloc(16) != nullptr);
  return 0;
}

CommandStatus ORVO_CDECL AllocateAndFree(HostContext) noexcept {
  void* volatile block = std::malloc(16);  // volatile: the pair must not be optimised away
  std::free(block);
  return 0;
}

// Holds 5000 bytes (grown from 1000), 2000 zeroed, 4000 aligned and 3000 from
// the process heap at once, then frees them all: a peak of 14000 bytes.
CommandStatus ORVO_CDECL HoldAndFree(HostContext) noexcept {
  void* volatile grown = std::realloc(std::malloc(1000), 5000);
  void* volatile zeroed = std::calloc(2, 1000);
  void* volatile aligned = _aligned_malloc(4000, 64);
  void* volatile heap = HeapAlloc(GetProcessHeap(), 0, 3000);
  HeapFree(GetProcessHeap(), 0, heap);
  _aligned_free(aligned);
  std::free(zeroed);
  std::free(grown);
  return 0;
}

CommandStatus ORVO_CDECL FlagTwice(HostContext context) noexcept {
  UpdateCompareFlag(context, 1);
  UpdateCompareFlag(context, 1);
  return 0;
}

CommandStatus ORVO_CDECL InputAfterOutput(HostContext context) noexcept {
  SetIntParam(context, 1);
  GetIntParam(context);
  return 0;
}

CommandStatus ORVO_CDECL Echo(HostContext context) noexcept {
  char text[128];
  GetStringParam(context, text, sizeof text);
  SetStringParam(context, text);
  return 0;
}

char* ORVO_CDECL LoadStatic(const char*) noexcept {
  return gNotFromAllocMem;
}

[[maybe_unused]] const bool kStarted = [] {
  RegisterCommand("LEAK", &Leak, "test");
  RegisterCommand("ALLOCATE_AND_FREE", &AllocateAndFree, "test");
  RegisterCommand("HOLD_AND_FREE", &HoldAndFree, "test");
  RegisterCommand("FLAG_TWICE", &FlagTwice, "test");
  RegisterCommand("INPUT_AFTER_OUTPUT", &InputAfterOutput, "test");
  RegisterCommand("ECHO", &Echo, "test");
  RegisterLoader("*.faulty", &LoadStatic);
  return true;
}();

}  // namespace
