// Quorlet: scripts import FXT text tables ("*.fxt") as objects of strings.
//
// Start-up logs the banner, registers LoadFxt and rewrites quorlet.d.ts in the
// host's declaration directory. LoadFxt reads a table and hands the host its
// JSON object text. Nothing is kept between calls and nothing is thrown into
// the host: every failure ends in a null result or one log line. The loader
// throws nothing at all: its memory reports running out by a null result.
#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
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
constexpr std::size_t kReadChunk = std::size_t{1} << 24;

// An open file, closed when it goes out of scope.
using FileHandle = std::unique_ptr<void, decltype(&CloseHandle)>;

// Takes charge of what CreateFileW returned: null when it opened nothing.
FileHandle Opened(HANDLE handle) {
  return FileHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle, &CloseHandle);
}

struct FreeBlock {
  void operator()(void* block) const { std::free(block); }
};
template <class T>
using HeapBlock = std::unique_ptr<T, FreeBlock>;

// Opens the file at the UTF-8 path with read, write and delete sharing:
// other processes may use it meanwhile. A path whose UTF-16 form finds no
// memory opens nothing.
FileHandle OpenShared(std::string_view path, DWORD access, DWORD disposition, DWORD flags) {
  const int size = static_cast<int>(std::min<std::size_t>(path.size(), INT_MAX));
  const int units = MultiByteToWideChar(CP_UTF8, 0, path.data(), size, nullptr, 0);
  const HeapBlock<wchar_t> wide(
      static_cast<wchar_t*>(std::malloc((static_cast<std::size_t>(units) + 1) * sizeof(wchar_t))));
  if (!wide) return Opened(INVALID_HANDLE_VALUE);
  MultiByteToWideChar(CP_UTF8, 0, path.data(), size, wide.get(), units);
  wide.get()[units] = L'\0';
  return Opened(CreateFileW(wide.get(), access,
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

// A file's bytes in a buffer of the C runtime's heap, not zero-filled.
struct FileBytes {
  HeapBlock<char> bytes;
  std::size_t size;
};

// The whole file, read into a buffer sized from its length and on until its
// end (it may have grown since); no bytes when it cannot be opened or read,
// or when memory runs out.
FileBytes ReadWholeFile(std::string_view path) {
  const FileHandle file = OpenShared(path, GENERIC_READ, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN);
  LARGE_INTEGER length{};
  if (!file || !GetFileSizeEx(file.get(), &length)) return {};
  if (static_cast<unsigned long long>(length.QuadPart) >= SIZE_MAX) return {};
  std::size_t capacity = std::max<std::size_t>(static_cast<std::size_t>(length.QuadPart), 1);
  HeapBlock<char> buffer(static_cast<char*>(std::malloc(capacity)));
  if (!buffer) return {};
  std::size_t filled = 0;
  char probe[4096];  // read once the buffer is full: the file may have grown
  for (;;) {
    const bool full = filled == capacity;
    char* const target = full ? probe : buffer.get() + filled;
    const DWORD want = full ? static_cast<DWORD>(sizeof probe)
                            : static_cast<DWORD>(std::min(capacity - filled, kReadChunk));
    DWORD read = 0;
    if (!ReadFile(file.get(), target, want, &read, nullptr)) return {};
    if (read == 0) break;
    if (full) {
      const std::size_t growth = std::max<std::size_t>(capacity / 2, sizeof probe);
      if (capacity > SIZE_MAX - growth) return {};
      char* const grown = static_cast<char*>(std::realloc(buffer.get(), capacity + growth));
      if (grown == nullptr) return {};
      static_cast<void>(buffer.release());
      buffer.reset(grown);
      capacity += growth;
      std::memcpy(buffer.get() + filled, probe, read);
    }
    filled += read;
  }
  return {std::move(buffer), filled};
}

char* ORVO_CDECL LoadFxt(const char* path) noexcept {
  // A path that is not UTF-8 counts as empty, which names no file.
  if (path == nullptr || *path == '\0' || !IsValidUtf8(path)) return nullptr;
  const FileBytes file = ReadWholeFile(path);
  if (!file.bytes) return nullptr;
  return FxtJson(std::string_view(file.bytes.get(), file.size), &AllocMem);
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
