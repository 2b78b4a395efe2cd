// Kesmet: six script commands that read or write one integer, float or string
// in an INI file.
//
// Start-up logs the banner and registers the commands. Each handler takes its
// arguments in order, has the host resolve the path, converts the texts to
// UTF-16 in fixed buffers on its own stack, makes one private-profile call,
// hands back its result and sets the compare flag once. Nothing is allocated,
// kept or thrown; failure shows only in the flag and the result.
#include <windows.h>

#include <cstdint>
#include <cwchar>

#include "ini_text.h"
#include "orvo_host.h"

namespace {

constexpr char kBanner[] = "Kesmet plugin " ORVO_PLUGIN_VERSION;
constexpr char kCategory[] = "fs";
constexpr int32_t kArgumentBytes = 128;  // GetStringParam's buffer, always this size
constexpr int kResolvedBytes = 260;      // ResolvePath's buffer; no size is passed
constexpr int kPathUnits = 260;
constexpr int kTextUnits = 128;
constexpr int kResultBytes = 128;
constexpr int32_t kMissingInt = INT32_MIN;

// Where a value lives, in the platform's UTF-16.
struct IniLocation {
  wchar_t path[kPathUnits];
  wchar_t section[kTextUnits];
  wchar_t key[kTextUnits];
};

// A UTF-8 text of at most Units - 1 bytes always fits in Units units with its
// terminator: no UTF-8 sequence yields more units than it has bytes.
template <int Units>
void ToWide(const char* text, wchar_t (&buffer)[Units]) {
  MultiByteToWideChar(CP_UTF8, 0, text, -1, buffer, Units);
}

void GetText(HostContext context, char (&argument)[kArgumentBytes]) {
  GetStringParam(context, argument, kArgumentBytes);
  argument[kArgumentBytes - 1] = '\0';  // terminated even by a host that breaks its word
}

// Takes path, section and key, the next three arguments. Reuses argument,
// so a write command converts its value before calling this.
void ReadLocation(HostContext context, char (&argument)[kArgumentBytes], IniLocation& location) {
  GetText(context, argument);
  char resolved[kResolvedBytes] = {};
  ResolvePath(argument, resolved);
  resolved[kResolvedBytes - 1] = '\0';  // likewise
  ToWide(resolved, location.path);
  GetText(context, argument);
  ToWide(argument, location.section);
  GetText(context, argument);
  ToWide(argument, location.key);
}

void Store(HostContext context, char (&argument)[kArgumentBytes],
           const wchar_t (&value)[kTextUnits]) {
  IniLocation location = {};
  ReadLocation(context, argument, location);
  const BOOL stored =
      WritePrivateProfileStringW(location.section, location.key, value, location.path);
  UpdateCompareFlag(context, stored != 0 ? 1 : 0);
}

// The key's text, cut to 127 units; 0 units when the key or its text is missing.
DWORD ReadText(HostContext context, wchar_t (&read)[kTextUnits]) {
  char argument[kArgumentBytes] = {};
  IniLocation location = {};
  ReadLocation(context, argument, location);
  return GetPrivateProfileStringW(location.section, location.key, nullptr, read, kTextUnits,
                                  location.path);
}

CommandStatus ORVO_CDECL ReadIntFromIniFile(HostContext context) noexcept {
  char argument[kArgumentBytes] = {};
  IniLocation location = {};
  ReadLocation(context, argument, location);
  const int32_t value = static_cast<int32_t>(
      GetPrivateProfileIntW(location.section, location.key, kMissingInt, location.path));
  SetIntParam(context, value);
  UpdateCompareFlag(context, value != kMissingInt ? 1 : 0);
  return 0;
}

CommandStatus ORVO_CDECL WriteIntToIniFile(HostContext context) noexcept {
  const int32_t value = GetIntParam(context);
  char argument[kArgumentBytes] = {};
  FormatIniInt(value, argument);
  wchar_t text[kTextUnits] = {};
  ToWide(argument, text);
  Store(context, argument, text);
  return 0;
}

CommandStatus ORVO_CDECL ReadFloatFromIniFile(HostContext context) noexcept {
  wchar_t read[kTextUnits] = {};
  const DWORD units = ReadText(context, read);
  // The C99 wcstof that mingw-w64 links into this DLL, not msvcrt.dll's: it
  // takes hexadecimal floats, "inf", "infinity" and "nan", and overflows to
  // an infinity, on every Windows version alike.
  SetFloatParam(context, units != 0 ? std::wcstof(read, nullptr) : 0.0f);
  UpdateCompareFlag(context, units != 0 ? 1 : 0);
  return 0;
}

CommandStatus ORVO_CDECL WriteFloatToIniFile(HostContext context) noexcept {
  const float value = GetFloatParam(context);
  wchar_t text[kTextUnits] = {};
  FormatIniFloat(value, text);
  char argument[kArgumentBytes] = {};
  Store(context, argument, text);
  return 0;
}

CommandStatus ORVO_CDECL ReadStringFromIniFile(HostContext context) noexcept {
  wchar_t read[kTextUnits] = {};
  const DWORD units = ReadText(context, read);
  // 127 units can need up to 381 bytes: hand on the longest prefix that ends
  // on a whole character, since the platform fails outright, unterminated,
  // when the whole text does not fit.
  char result[kResultBytes];
  const int fitting = static_cast<int>(Utf16UnitsFittingUtf8(read, kResultBytes - 1));
  const int bytes =
      WideCharToMultiByte(CP_UTF8, 0, read, fitting, result, kResultBytes - 1, nullptr, nullptr);
  result[bytes] = '\0';
  SetStringParam(context, result);
  UpdateCompareFlag(context, units != 0 ? 1 : 0);
  return 0;
}

CommandStatus ORVO_CDECL WriteStringToIniFile(HostContext context) noexcept {
  char argument[kArgumentBytes] = {};
  GetText(context, argument);
  wchar_t text[kTextUnits] = {};
  ToWide(argument, text);
  Store(context, argument, text);
  return 0;
}

void InitializeKesmet() noexcept {
  Log(kBanner);
  RegisterCommand("READ_INT_FROM_INI_FILE", &ReadIntFromIniFile, kCategory);
  RegisterCommand("WRITE_INT_TO_INI_FILE", &WriteIntToIniFile, kCategory);
  RegisterCommand("READ_FLOAT_FROM_INI_FILE", &ReadFloatFromIniFile, kCategory);
  RegisterCommand("WRITE_FLOAT_TO_INI_FILE", &WriteFloatToIniFile, kCategory);
  RegisterCommand("READ_STRING_FROM_INI_FILE", &ReadStringFromIniFile, kCategory);
  RegisterCommand("WRITE_STRING_TO_INI_FILE", &WriteStringToIniFile, kCategory);
}

[[maybe_unused]] const bool kStarted = (InitializeKesmet(), true);

}  // namespace
