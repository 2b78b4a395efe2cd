// Quorlet: scripts import FXT text tables ("*.fxt") as objects of strings.
//
// Start-up logs the banner, registers LoadFxt and rewrites quorlet.d.ts in the
// host's declaration directory. LoadFxt reads a table and hands the host its
// JSON object text. Nothing is kept between calls and nothing is thrown into
// the host: every failure ends in a null result or one log line.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "fxt_json.h"
#include "fxt_table.h"
#include "orvo_host.h"
#include "typings_path.h"
#include "utf8.h"

namespace {

constexpr char kBanner[] = "Quorlet " ORVO_PLUGIN_VERSION;
constexpr char kPattern[] = "*.fxt";
constexpr int32_t kTypingsDirectoryKind = 1;
constexpr char kTypings[] =
    "// Quorlet (Quorlet.orvo, Quorlet64.orvo)\r\n"
    "declare module \"*.fxt\" {\r\n"
    "  const value: Record<string, string>;\r\n"
    "  export default value;\r\n"
    "}\r\n";
constexpr char kTypingsFailure[] = "Failed to write quorlet.d.ts: ";
constexpr DWORD kMessageUnits = 2048;
constexpr DWORD kNtStatusBit = 0x10000000;
constexpr DWORD kReadChunk = 1u << 24;
constexpr std::size_t kJsonReserve = 128;

std::wstring Utf8ToWide(std::string_view text) {
  if (text.empty()) return {};
  const int units =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(units, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), units);
  return wide;
}

// The system's message for an error code, as the log shows it.
std::string OsErrorDescription(DWORD code) {
  DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
  const void* source = nullptr;
  DWORD lookup = code;
  if ((code & kNtStatusBit) != 0) {
    if (HMODULE ntdll = GetModuleHandleW(L"NTDLL.DLL")) {
      flags = FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS;
      source = ntdll;
      lookup = code & ~kNtStatusBit;
    }
  }
  wchar_t message[kMessageUnits];
  const DWORD units = FormatMessageW(flags, source, lookup, 0, message, kMessageUnits, nullptr);
  const std::string number = std::to_string(code);
  if (units == 0)
    return "OS Error " + number + " (FormatMessageW() returned error " +
           std::to_string(GetLastError()) + ")";
  const int bytes = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, message,
                                        static_cast<int>(units), nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return "OS Error " + number + " (FormatMessageW() returned invalid UTF-16)";
  std::string text(bytes, '\0');
  WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, message, static_cast<int>(units), text.data(),
                      bytes, nullptr, nullptr);
  TrimTrailingWhiteSpace(text);
  return OsErrorText(text, code);
}

// Creates or empties the file and writes the typings text whole. Returns the
// error text of the first failure, or the empty text.
std::string WriteTypings(const std::string& path) {
  HANDLE file = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return OsErrorDescription(GetLastError());
  std::string failure;
  const char* rest = kTypings;
  DWORD left = sizeof kTypings - 1;
  while (left > 0) {
    DWORD written = 0;
    if (!WriteFile(file, rest, left, &written, nullptr)) {
      failure = OsErrorDescription(GetLastError());
      break;
    }
    if (written == 0) {
      failure = "failed to write whole buffer";
      break;
    }
    rest += written;
    left -= written;
  }
  CloseHandle(file);
  return failure;
}

// Reads the whole file, sized from its length, until its end. False when it
// cannot be opened or read.
bool ReadWholeFile(const std::wstring& path, std::string& content) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  try {
    LARGE_INTEGER size{};
    ok = GetFileSizeEx(file, &size) &&
         static_cast<unsigned long long>(size.QuadPart) < content.max_size();
    if (ok) content.resize(static_cast<std::size_t>(size.QuadPart));
    std::size_t filled = 0;
    char probe[4096];  // the file may have grown since its length was taken
    while (ok) {
      const bool inBuffer = filled < content.size();
      char* target = inBuffer ? content.data() + filled : probe;
      const DWORD want =
          inBuffer ? static_cast<DWORD>(std::min<std::size_t>(content.size() - filled, kReadChunk))
                   : sizeof probe;
      DWORD read = 0;
      ok = ReadFile(file, target, want, &read, nullptr) != 0;
      if (!ok || read == 0) break;
      if (!inBuffer) content.append(probe, read);
      filled += read;
    }
    content.resize(filled);
  } catch (...) {
    ok = false;
  }
  CloseHandle(file);
  return ok;
}

// The JSON object text of an FXT file, or the empty text when there is none.
std::string FxtJson(const char* path) {
  std::string_view pathText = path == nullptr ? std::string_view() : std::string_view(path);
  if (!IsValidUtf8(pathText)) pathText = {};
  FxtTable table;
  {
    std::string content;
    if (pathText.empty() || !ReadWholeFile(Utf8ToWide(pathText), content)) return {};
    if (!IsValidUtf8(content)) return {};
    table = ParseFxt(content);
  }
  if (table.entries.empty()) return {};
  std::string json;
  json.reserve(kJsonReserve);
  EncodeFxtJson(table, json);
  return json;
}

char* ORVO_CDECL LoadFxt(const char* path) noexcept {
  try {
    const std::string json = FxtJson(path);
    if (json.empty()) return nullptr;
    char* block = static_cast<char*>(AllocMem(static_cast<uint32_t>(json.size() + 1)));
    if (block == nullptr) return nullptr;
    std::memcpy(block, json.data(), json.size());  // the zero-filled block ends the text
    return block;
  } catch (...) {
    return nullptr;
  }
}

void InitializeQuorlet() noexcept {
  Log(kBanner);
  RegisterLoader(kPattern, &LoadFxt);
  char directory[kDirectoryBufferSize] = {};
  GetDirectoryPath(kTypingsDirectoryKind, directory);
  try {
    const std::string failure = WriteTypings(QuorletTypingsPath(directory));
    if (!failure.empty()) Log((kTypingsFailure + failure).c_str());
  } catch (...) {
    // Out of memory while forming a path or message: the loader works anyway.
  }
}

[[maybe_unused]] const bool kStarted = (InitializeQuorlet(), true);

}  // namespace
