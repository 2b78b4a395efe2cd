// Control interface of the stand-in host orvo_tesk.asi.
//
// The stand-in host implements the host operations of sdk/orvo_host.h the way
// a host would, records what plug-ins do with them, and is strict where the
// host contract is: every breach is recorded as a violation that tests check.
#pragma once

#include <stdint.h>

#include "orvo_host.h"

#ifdef __cplusplus
extern "C" {
#endif

// Clears every record and switch: log, registrations, events, allocations,
// and violations; directory and base back to none. Heap counts run on.
ORVO_HOST_API void ORVO_CDECL TeskReset(void);
// Frees the AllocMem blocks handed out so far and clears the events; the
// registrations and everything else stay, so a loader can be called again.
ORVO_HOST_API void ORVO_CDECL TeskReleaseBlocks(void);

// What GetDirectoryPath writes: the text and its terminator, or (null) nothing.
ORVO_HOST_API void ORVO_CDECL TeskSetDirectory(const char* text);
// What GetDirectoryPath writes: exactly these bytes, no terminator added.
ORVO_HOST_API void ORVO_CDECL TeskSetDirectoryBytes(const char* bytes, int32_t count);
// Relative paths given to ResolvePath are resolved against this directory.
ORVO_HOST_API void ORVO_CDECL TeskSetBase(const char* directory);
// While set, AllocMem yields null.
ORVO_HOST_API void ORVO_CDECL TeskFailAllocMem(int32_t fail);

// Everything the plug-ins did, in order: "log:TEXT", "loader:PATTERN",
// "command:NAME:CATEGORY", "directory:KIND", "resolve:PATH", "alloc:SIZE".
ORVO_HOST_API int32_t ORVO_CDECL TeskEventCount(void);
ORVO_HOST_API const char* ORVO_CDECL TeskEvent(int32_t index);
// The log lines alone.
ORVO_HOST_API int32_t ORVO_CDECL TeskLogCount(void);
ORVO_HOST_API const char* ORVO_CDECL TeskLogLine(int32_t index);
// Breaches of the host contract, as readable texts.
ORVO_HOST_API int32_t ORVO_CDECL TeskViolationCount(void);
ORVO_HOST_API const char* ORVO_CDECL TeskViolation(int32_t index);

// AllocMem blocks handed out, with their sizes (the host keeps them).
ORVO_HOST_API int32_t ORVO_CDECL TeskAllocCount(void);
ORVO_HOST_API uint32_t ORVO_CDECL TeskAllocSize(int32_t index);
ORVO_HOST_API const char* ORVO_CDECL TeskAllocBlock(int32_t index);

// Calls the loader registered for a pattern that matches the file name of
// path ("*.ext", case-insensitive). *found tells whether there was one.
ORVO_HOST_API char* ORVO_CDECL TeskImport(const char* path, int32_t* found);

// One input or output of a command: kind 'i', 'f' or 's'.
typedef struct TeskValue {
  int32_t kind;
  int32_t i;
  float f;
  const char* s;
} TeskValue;

enum { kTeskMaxOutputs = 4, kTeskMaxText = 1024 };

typedef struct TeskOutcome {
  int32_t found;  // a command of that name is registered
  CommandStatus status;
  int32_t flag;  // -1 when UpdateCompareFlag was never called
  int32_t outputCount;
  TeskValue outputs[kTeskMaxOutputs];  // string outputs point into text
  char text[kTeskMaxOutputs][kTeskMaxText];
  int32_t violations;  // violations recorded during this call
} TeskOutcome;

// Runs a registered command with the given inputs. Safe to call from several
// threads at once; each call has its own HostContext.
ORVO_HOST_API void ORVO_CDECL TeskRunCommand(const char* name, const TeskValue* inputs,
                                             int32_t count, TeskOutcome* outcome);

// Counts the heap use of a loaded module from now on: redirects its imports of
// the C runtime's and the Win32 allocators to counting wrappers. Returns the
// number of import entries redirected.
ORVO_HOST_API int32_t ORVO_CDECL TeskCountHeap(void* module);

typedef struct TeskHeapCounts {
  int32_t allocations;  // calls that obtained a block (a moving realloc counts)
  int32_t releases;     // calls that gave a block back
} TeskHeapCounts;
ORVO_HOST_API void ORVO_CDECL TeskGetHeapCounts(TeskHeapCounts* counts);

// The bytes of the counted blocks, each at the size its allocator reports
// (the size asked for). live: allocated less released since counting began,
// below 0 when blocks from before are released; peak: the highest live since
// TeskResetHeapPeak (or since counting began). So what one call held at
// most is peak after it less live before it, the peak reset just before.
typedef struct TeskHeapBytes {
  int64_t live;
  int64_t peak;
} TeskHeapBytes;
ORVO_HOST_API void ORVO_CDECL TeskGetHeapBytes(TeskHeapBytes* bytes);
// Sets the peak to the present live bytes.
ORVO_HOST_API void ORVO_CDECL TeskResetHeapPeak(void);

// Makes the counted allocation with this index from now on (0: the next one)
// fail, as an allocator out of memory does; -1 fails none. Returns how many
// allocations were still to go before the failure set earlier, or -1 when it
// has happened (or none was set).
ORVO_HOST_API int32_t ORVO_CDECL TeskFailHeapAllocation(int32_t index);

#ifdef __cplusplus
}
#endif
