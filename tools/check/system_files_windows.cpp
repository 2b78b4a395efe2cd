#include <windows.h>

#include <memory>
#include <optional>

#include "os_error_text.h"
#include "system_files.h"

namespace {

constexpr DWORD kMessageUnits = 2048;
constexpr DWORD kReadChunk = 1u << 24;

using FileHandle = std::unique_ptr<void, decltype(&CloseHandle)>;

std::wstring Wide(const std::string& text) {
  const int units =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(units, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), units);
  return wide;
}

// The system's message for the last error, in the form Quorlet logs it.
std::string LastErrorText() {
  const DWORD code = GetLastError();
  const std::optional<std::uint32_t> ntdllId = NtdllMessageId(code);
  HMODULE ntdll = ntdllId ? GetModuleHandleW(L"NTDLL.DLL") : nullptr;
  const DWORD flags = FORMAT_MESSAGE_IGNORE_INSERTS |
                      (ntdll != nullptr ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM);
  wchar_t message[kMessageUnits];
  const DWORD units = FormatMessageW(flags, ntdll, ntdll != nullptr ? *ntdllId : code, 0, message,
                                     kMessageUnits, nullptr);
  const DWORD lookupError = units == 0 ? GetLastError() : 0;
  return OsErrorText(code, std::wstring_view(message, units), lookupError);
}

// Opens with the sharing the loaders grant: others may read, write and delete.
FileHandle Open(const std::string& path, DWORD access, DWORD disposition) {
  HANDLE file = CreateFileW(Wide(path).c_str(), access,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  return FileHandle(file == INVALID_HANDLE_VALUE ? nullptr : file, &CloseHandle);
}

FileBytes Failed() {
  FileBytes result;
  result.reason = LastErrorText();
  return result;
}

}  // namespace

FileBytes ReadFileBytes(const std::string& path) {
  const FileHandle file = Open(path, GENERIC_READ, OPEN_EXISTING);
  LARGE_INTEGER size{};
  if (!file || !GetFileSizeEx(file.get(), &size)) return Failed();
  FileBytes result;
  result.bytes.resize(static_cast<std::size_t>(size.QuadPart));
  std::size_t filled = 0;
  for (;;) {
    // The file may have grown since its length was taken.
    if (filled == result.bytes.size()) result.bytes.resize(filled + 4096);
    const DWORD want =
        static_cast<DWORD>(std::min<std::size_t>(result.bytes.size() - filled, kReadChunk));
    DWORD got = 0;
    if (!ReadFile(file.get(), result.bytes.data() + filled, want, &got, nullptr)) return Failed();
    if (got == 0) break;
    filled += got;
  }
  result.bytes.resize(filled);
  result.read = true;
  return result;
}

std::string WriteFileBytes(const std::string& path, std::string_view bytes) {
  const FileHandle file = Open(path, GENERIC_WRITE, CREATE_ALWAYS);
  if (!file) return LastErrorText();
  while (!bytes.empty()) {
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), kReadChunk));
    DWORD written = 0;
    if (!WriteFile(file.get(), bytes.data(), want, &written, nullptr)) return LastErrorText();
    if (written == 0) return kShortWriteText;
    bytes.remove_prefix(written);
  }
  return {};
}
