// Kesmet: six script commands that read or write one integer, float or string
// in an INI file.
//
// Start-up logs the banner and registers the commands. Each handler takes its
// arguments in order, has the host resolve the path, converts the texts to
// UTF-16 in fixed buffers on its own stack, makes one private-profile call,
// hands back its result and sets the compare flag once. Nothing is allocated,
// kept or thrown; failure shows only in the flag and the result.
//
// The platform reports success for writes it garbles: text that becomes lines
// or keys of their own, characters the file's code page lacks stored as '?',
// writes to devices. Such calls are refused before the platform sees them.
// And it rewrites the whole file on every write with no lock between
// processes, so each call holds a named mutex of the file while it runs.
#include <windows.h>

#include <cstdint>
#include <cwchar>

#include "ini_rules.h"
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
// WideCharToMultiByte's worst case: three bytes a unit in UTF-8.
constexpr int kAnsiBytes = kTextUnits * 3;

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

// The file the platform opens for path, made absolute as it does: a bare
// file name, with no directory and no drive, lives in the Windows directory.
// False when that does not fit.
bool FullIniPath(const wchar_t* path, wchar_t (&full)[kPathUnits]) {
  const bool hasDrive = path[0] != L'\0' && path[1] == L':';
  if (hasDrive || std::wcspbrk(path, L"\\/") != nullptr) {
    const DWORD length = GetFullPathNameW(path, kPathUnits, full, nullptr);
    return length != 0 && length < kPathUnits;
  }
  const std::size_t nameLength = std::wcslen(path);
  std::size_t length = GetWindowsDirectoryW(full, kPathUnits);
  if (length == 0 || length >= kPathUnits) return false;
  if (full[length - 1] != L'\\') full[length++] = L'\\';
  if (length + nameLength >= kPathUnits) return false;
  std::wmemcpy(full + length, path, nameLength + 1);
  return true;
}

// Waits for the mutex of the file at the full path, shared by every process
// of the session that uses Kesmet; nullptr when there is none to be had.
HANDLE LockIniFile(const wchar_t (&full)[kPathUnits]) {
  wchar_t folded[kPathUnits];
  if (LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, full, -1, folded, kPathUnits) == 0)
    return nullptr;
  wchar_t name[kIniLockNameUnits];
  IniLockName(folded, name);
  const HANDLE mutex = CreateMutexW(nullptr, FALSE, name);
  if (mutex == nullptr) return nullptr;
  // Abandoned: its owner ended inside a call; the mutex is ours all the same.
  const DWORD waited = WaitForSingleObject(mutex, INFINITE);
  if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) return mutex;
  CloseHandle(mutex);
  return nullptr;
}

void UnlockIniFile(HANDLE mutex) {
  ReleaseMutex(mutex);
  CloseHandle(mutex);
}

enum class IniEncoding { kAnsi, kUnicode, kNotADiskFile };

// A file is Unicode to the platform when it starts with the UTF-16 LE mark;
// any other, and one not there yet, is in the ANSI code page. Whatever opens
// but is no file on a disk (a pipe, a console, a port under another name)
// is never read from, which could wait for good, nor written to.
IniEncoding EncodingOf(const wchar_t* full) {
  const HANDLE file =
      CreateFileW(full, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return IniEncoding::kAnsi;
  if (GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    return IniEncoding::kNotADiskFile;
  }
  unsigned char mark[2] = {};
  DWORD read = 0;
  const BOOL readOk = ReadFile(file, mark, sizeof mark, &read, nullptr);
  CloseHandle(file);
  return readOk && read == sizeof mark && mark[0] == 0xFF && mark[1] == 0xFE ? IniEncoding::kUnicode
                                                                             : IniEncoding::kAnsi;
}

// Whether the ANSI code page holds the text exactly: the platform would
// store '?' or a best-fit look-alike for what it does not.
bool AnsiHolds(const wchar_t* text) {
  char ansi[kAnsiBytes];
  if (GetACP() == CP_UTF8)  // takes no best-fit flag; only lone surrogates fail
    return WideCharToMultiByte(CP_ACP, WC_ERR_INVALID_CHARS, text, -1, ansi, kAnsiBytes, nullptr,
                               nullptr) != 0;
  BOOL usedDefault = FALSE;
  const int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, ansi, kAnsiBytes,
                                        nullptr, &usedDefault);
  return bytes != 0 && !usedDefault;
}

// Locks the location's file for one platform call and checks that its
// encoding holds section, key and value (null for a read). Returns the lock,
// or nullptr when the call is refused; full is the path to hand the platform.
HANDLE LockLocation(const IniLocation& location, const wchar_t* value,
                    wchar_t (&full)[kPathUnits]) {
  // The full path too: making it full drops a trailing "\." or dot, which
  // can leave a device's name last ("nul\.").
  if (!IsIniFilePath(location.path) || !FullIniPath(location.path, full) || !IsIniFilePath(full))
    return nullptr;
  const HANDLE lock = LockIniFile(full);
  if (lock == nullptr) return nullptr;
  const IniEncoding encoding = EncodingOf(full);
  if (encoding == IniEncoding::kUnicode) return lock;
  if (encoding == IniEncoding::kAnsi && AnsiHolds(location.section) && AnsiHolds(location.key) &&
      (value == nullptr || AnsiHolds(value)))
    return lock;
  UnlockIniFile(lock);
  return nullptr;
}

bool StoreAt(const IniLocation& location, const wchar_t (&value)[kTextUnits]) {
  if (!IniWriteReadsBack(location.section, location.key, value)) return false;
  wchar_t full[kPathUnits];
  const HANDLE lock = LockLocation(location, value, full);
  if (lock == nullptr) return false;
  const BOOL stored = WritePrivateProfileStringW(location.section, location.key, value, full);
  UnlockIniFile(lock);
  return stored != 0;
}

void Store(HostContext context, char (&argument)[kArgumentBytes],
           const wchar_t (&value)[kTextUnits]) {
  IniLocation location = {};
  ReadLocation(context, argument, location);
  UpdateCompareFlag(context, StoreAt(location, value) ? 1 : 0);
}

// The key's text, cut to 127 units; 0 units when the key or its text is
// missing or the read is refused.
DWORD ReadText(HostContext context, wchar_t (&read)[kTextUnits]) {
  char argument[kArgumentBytes] = {};
  IniLocation location = {};
  ReadLocation(context, argument, location);
  wchar_t full[kPathUnits];
  const HANDLE lock = LockLocation(location, nullptr, full);
  if (lock == nullptr) return 0;
  const DWORD units =
      GetPrivateProfileStringW(location.section, location.key, nullptr, read, kTextUnits, full);
  UnlockIniFile(lock);
  return units;
}

CommandStatus ORVO_CDECL ReadIntFromIniFile(HostContext context) noexcept {
  char argument[kArgumentBytes] = {};
  IniLocation location = {};
  ReadLocation(context, argument, location);
  wchar_t full[kPathUnits];
  int32_t value = kMissingInt;
  if (const HANDLE lock = LockLocation(location, nullptr, full)) {
    value = static_cast<int32_t>(
        GetPrivateProfileIntW(location.section, location.key, kMissingInt, full));
    UnlockIniFile(lock);
  }
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
