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
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "fxt_json.h"
#include "orvo_host.h"
#include "os_error_text.h"
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
constexpr DWORD kReadChunk = 1u << 24;

// An open file, closed when it goes out of scope.
using FileHandle = std::unique_ptr<void, decltype(&CloseHandle)>;

// Takes charge of what CreateFileW returned: null when it opened nothing.
FileHandle Opened(HANDLE handle) {
  return FileHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle, &CloseHandle);
}

std::wstring Utf8ToWide(std::string_view text) {
  if (text.empty()) return {};
  const int units =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(units, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), units);
  return wide;
}

// Opens the file at the UTF-8 path with read, write and delete sharing:
// other processes may use it meanwhile.
FileHandle OpenShared(std::string_view path, DWORD access, DWORD disposition, DWORD flags) {
  return Opened(CreateFileW(Utf8ToWide(path).c_str(), access,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            disposition, flags, nullptr));
}

// The system's message for an error code, as the log shows it.
std::string OsErrorDescription(DWORD code) {
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

// Creates or empties the file and writes the typings text whole. Returns the
// error text of the first failure, or the empty text.
std::string WriteTypings(const std::string& path) {
  const FileHandle file = OpenShared(path, GENERIC_WRITE, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
  if (!file) return OsErrorDescription(GetLastError());
  const char* rest = kTypings;
  DWORD left = sizeof kTypings - 1;
  while (left > 0) {
    DWORD written = 0;
    if (!WriteFile(file.get(), rest, left, &written, nullptr))
      return OsErrorDescription(GetLastError());
    if (written == 0) return kShortWriteText;
    rest += written;
    left -= written;
  }
  return {};
}

// The whole file, read into a buffer sized from its length (with room for
// the JSON text) and on until its end; nullopt when it cannot be opened or
// read. Throws std::bad_alloc when memory runs out.
std::optional<std::string> ReadWholeFile(std::string_view path) {
  const FileHandle file = OpenShared(path, GENERIC_READ, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN);
  LARGE_INTEGER size{};
  if (!file || !GetFileSizeEx(file.get(), &size)) return std::nullopt;
  std::string content;
  if (static_cast<unsigned long long>(size.QuadPart) >= content.max_size()) return std::nullopt;
  content.reserve(FxtJsonRoom(static_cast<std::size_t>(size.QuadPart)));
  content.resize(static_cast<std::size_t>(size.QuadPart));
  std::size_t filled = 0;
  char probe[4096];  // the file may have grown since its length was taken
  for (;;) {
    const bool inBuffer = filled < content.size();
    char* target = inBuffer ? content.data() + filled : probe;
    const DWORD want =
        inBuffer ? static_cast<DWORD>(std::min<std::size_t>(content.size() - filled, kReadChunk))
                 : sizeof probe;
    DWORD read = 0;
    if (!ReadFile(file.get(), target, want, &read, nullptr)) return std::nullopt;
    if (read == 0) break;
    if (!inBuffer) content.append(probe, read);
    filled += read;
  }
  content.resize(filled);
  return content;
}

char* ORVO_CDECL LoadFxt(const char* path) noexcept {
  try {
    // A path that is not UTF-8 counts as empty, which names no file.
    if (path == nullptr || *path == '\0' || !IsValidUtf8(path)) return nullptr;
    std::optional<std::string> content = ReadWholeFile(path);
    if (!content) return nullptr;
    const std::optional<std::string> json = FxtJson(std::move(*content));
    if (!json) return nullptr;
    char* block = static_cast<char*>(AllocMem(static_cast<uint32_t>(json->size() + 1)));
    if (block == nullptr) return nullptr;
    std::memcpy(block, json->data(), json->size());  // the zero-filled block ends the text
    return block;
  } catch (...) {
    return nullptr;  // out of memory
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
