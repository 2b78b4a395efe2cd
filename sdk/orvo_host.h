// The host runtime's interface, as every plug-in sees it.
//
// The host (orvo_tesk.asi) exports these thirteen operations with C linkage,
// the __cdecl calling convention and undecorated names. Texts are
// NUL-terminated UTF-8; the host copies whatever it keeps.
#pragma once

#include <stdint.h>

#if defined(_WIN32)
#define ORVO_CDECL __cdecl
#if defined(ORVO_HOST_IMPLEMENTATION)
#define ORVO_HOST_API __declspec(dllexport)
#else
#define ORVO_HOST_API __declspec(dllimport)
#endif
#else
#define ORVO_CDECL
#define ORVO_HOST_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Opaque handle of one running command, valid only during that handler call.
typedef struct HostCommandCall* HostContext;

// Result code of a command handler; every handler in the system returns 0.
typedef int32_t CommandStatus;

typedef CommandStatus(ORVO_CDECL* CommandProc)(HostContext context);

// Returns NUL-terminated JSON text in an AllocMem block, or null.
typedef char*(ORVO_CDECL* LoaderProc)(const char* path);

ORVO_HOST_API void ORVO_CDECL Log(const char* text);
ORVO_HOST_API void ORVO_CDECL RegisterLoader(const char* pattern, LoaderProc loader);
ORVO_HOST_API void ORVO_CDECL RegisterCommand(const char* name, CommandProc handler,
                                              const char* category);
// Writes the directory of the given kind (1: declaration files), NUL-terminated,
// into buffer; no size is passed.
ORVO_HOST_API void ORVO_CDECL GetDirectoryPath(int32_t kind, char* buffer);
// Zero-filled block, owned by the host once a loader returns it.
ORVO_HOST_API void* ORVO_CDECL AllocMem(uint32_t size);
// Writes the full path for a script's path into a 260-byte buffer.
ORVO_HOST_API void ORVO_CDECL ResolvePath(const char* path, char* buffer);

ORVO_HOST_API int32_t ORVO_CDECL GetIntParam(HostContext context);
ORVO_HOST_API float ORVO_CDECL GetFloatParam(HostContext context);
ORVO_HOST_API void ORVO_CDECL GetStringParam(HostContext context, char* buffer, int32_t size);
ORVO_HOST_API void ORVO_CDECL SetIntParam(HostContext context, int32_t value);
ORVO_HOST_API void ORVO_CDECL SetFloatParam(HostContext context, float value);
ORVO_HOST_API void ORVO_CDECL SetStringParam(HostContext context, const char* text);
ORVO_HOST_API void ORVO_CDECL UpdateCompareFlag(HostContext context, int32_t flag);

#ifdef __cplusplus
}
#endif
