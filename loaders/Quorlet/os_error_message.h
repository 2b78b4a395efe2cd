// The system's message for an error code, looked up as the log shows it:
// Quorlet's start-up failure line and orvo-check's reasons. Windows only; the
// text's rules are in os_error_text.h.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "os_error_text.h"

inline std::string OsErrorDescription(DWORD code) {
  constexpr DWORD kMessageUnits = 2048;
  const std::optional<std::uint32_t> ntdllId = NtdllMessageId(code);
  HMODULE ntdll = ntdllId ? GetModuleHandleW(L"NTDLL.DLL") : nullptr;
  const DWORD flags = FORMAT_MESSAGE_IGNORE_INSERTS |
                      (ntdll != nullptr ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM);
  wchar_t message[kMessageUnits];
  const DWORD units = FormatMessageW(flags, ntdll, ntdll != nullptr ? *ntdllId : code, 0, message,
                                     kMessageUnits, nullptr);
  // Read at once: any later call may change it.
  const DWORD lookupError = units == 0 ? GetLastError() : 0;
  return OsErrorText(code, std::wstring_view(message, units), lookupError);
}
