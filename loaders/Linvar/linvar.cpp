// Linvar: scripts import plain-text files ("*.txt", "*.text") as arrays of
// their lines.
//
// Start-up logs the banner, registers LoadLines for both patterns and rewrites
// linvar.d.ts in the host's declaration directory. LoadLines reads a file the
// way the platform's text mode reads it and hands the host the JSON array of
// its lines. Paths come as UTF-8 and go to the wide-character file functions.
// Nothing is kept between calls and nothing is thrown, not even inside: every
// allocation reports its failure, which ends in a null result or one log line.
#include <windows.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <string_view>

#include "lines_json.h"
#include "orvo_host.h"
#include "text_lines.h"

namespace {

constexpr char kBanner[] = "Linvar " ORVO_PLUGIN_VERSION;
constexpr char kTextPattern[] = "*.txt";
constexpr char kLongTextPattern[] = "*.text";
constexpr int32_t kTypingsDirectoryKind = 1;
constexpr std::size_t kDirectoryBufferSize = 260;
constexpr char kTypingsSuffix[] = "\\linvar.d.ts";
constexpr char kTypingsFailure[] = "Failed to write linvar.d.ts";

// The declaration text, nine lines each ended by LF.
constexpr std::string_view kTypings =
    "declare module \"*.txt\" {\n"
    "  const value: string[];\n"
    "  export default value;\n"
    "}\n"
    "\n"
    "declare module \"*.text\" {\n"
    "  const value: string[];\n"
    "  export default value;\n"
    "}\n";
static_assert(kTypings.size() == 154);

// What the platform's text mode stores for the declaration text: every LF
// written as CR LF.
constexpr std::size_t kStoredTypingsSize =
    kTypings.size() + std::count(kTypings.begin(), kTypings.end(), '\n');
static_assert(kStoredTypingsSize == 163);
constexpr std::array<char, kStoredTypingsSize> kStoredTypings = [] {
  std::array<char, kStoredTypingsSize> stored{};
  std::size_t out = 0;
  for (const char c : kTypings) {
    if (c == '\n') stored[out++] = '\r';
    stored[out++] = c;
  }
  return stored;
}();

// An open file, closed when it goes out of scope.
using FileHandle = std::unique_ptr<void, decltype(&CloseHandle)>;

// Opens the file at the UTF-16 path with the sharing the C runtime's fopen
// grants: others may read and write. Null when it cannot be opened.
FileHandle OpenShared(const wchar_t* path, DWORD access, DWORD disposition, DWORD flags) {
  HANDLE file = CreateFileW(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                            flags, nullptr);
  return FileHandle(file == INVALID_HANDLE_VALUE ? nullptr : file, &CloseHandle);
}

// Converts the NUL-terminated UTF-8 text into wide, which holds units
// UTF-16 units; false when it is not UTF-8 or does not fit.
bool Utf8ToWide(const char* text, wchar_t* wide, int units) {
  return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, wide, units) != 0;
}

// The UTF-16 form of a path of any length, in a block of the C runtime's
// heap; null when it is not UTF-8 or memory runs out.
wchar_t* WidePath(const char* path) {
  const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, nullptr, 0);
  if (units == 0) return nullptr;
  auto* const wide = static_cast<wchar_t*>(std::malloc(sizeof(wchar_t) * units));
  if (wide != nullptr && !Utf8ToWide(path, wide, units)) {
    std::free(wide);
    return nullptr;
  }
  return wide;
}

// The length of the open file in bytes; 0 when it cannot be had.
std::uint64_t FileLength(HANDLE file) {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file, &size) || size.QuadPart < 0) return 0;
  return static_cast<std::uint64_t>(size.QuadPart);
}

// The next bytes of the open file; a read error ends the input like its end.
std::size_t ReadFileChunk(void* file, char* buffer, std::size_t size) {
  DWORD read = 0;
  if (!::ReadFile(file, buffer, static_cast<DWORD>(size), &read, nullptr)) return 0;
  return read;
}

void* AllocateText(std::size_t size) {
  return std::malloc(size);
}
void ReleaseText(void* block) {
  std::free(block);
}
constexpr TextMemory kTextMemory = {&AllocateText, &ReleaseText};

void* AllocateHostBlock(std::uint32_t size) {
  return AllocMem(size);
}

// The loader callback for "*.txt" and "*.text": the file's lines as a JSON
// array of strings in an AllocMem block, or null when the path is not UTF-8,
// the file cannot be opened, the host has no block or memory runs out.
char* ORVO_CDECL LoadLines(const char* path) noexcept {
  if (path == nullptr) return nullptr;
  TextModeText text;
  {
    wchar_t* const widePath = WidePath(path);
    if (widePath == nullptr) return nullptr;
    const FileHandle file =
        OpenShared(widePath, GENERIC_READ, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN);
    std::free(widePath);
    if (!file) return nullptr;
    text = ReadTextModeText(FileLength(file.get()), &ReadFileChunk, file.get(), kTextMemory);
  }  // the file is closed before the host is asked for memory
  if (text.block == nullptr) return nullptr;
  char* const block = LinesJsonBlock(text.view(), &AllocateHostBlock);
  ReleaseText(text.block);
  return block;
}

// Creates or truncates the file at path and writes the stored typings whole.
// False only when the file cannot be opened; write errors are not reported.
bool WriteTypings(const wchar_t* path) {
  const FileHandle file = OpenShared(path, GENERIC_WRITE, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
  if (!file) return false;
  const char* rest = kStoredTypings.data();
  DWORD left = static_cast<DWORD>(kStoredTypings.size());
  while (left > 0) {
    DWORD written = 0;
    if (!::WriteFile(file.get(), rest, left, &written, nullptr) || written == 0) break;
    rest += written;
    left -= written;
  }
  return true;
}

void InitializeLinvar() noexcept {
  Log(kBanner);
  RegisterLoader(kTextPattern, &LoadLines);
  RegisterLoader(kLongTextPattern, &LoadLines);

  // Cleared first: a host that stores nothing gives the empty directory text.
  char directory[kDirectoryBufferSize] = {};
  GetDirectoryPath(kTypingsDirectoryKind, directory);
  const void* end = std::memchr(directory, '\0', sizeof directory);
  if (end == nullptr) {
    // No terminator within the buffer: there is no directory text to use.
    Log(kTypingsFailure);
    return;
  }
  // The directory text as given, then the suffix: no separator check, no
  // normalisation. A directory text that is not UTF-8 names no file.
  const std::size_t length = static_cast<const char*>(end) - directory;
  char path[kDirectoryBufferSize + sizeof kTypingsSuffix];
  std::memcpy(path, directory, length);
  std::memcpy(path + length, kTypingsSuffix, sizeof kTypingsSuffix);
  // A UTF-8 text has no fewer bytes than UTF-16 units.
  wchar_t widePath[sizeof path];
  if (!Utf8ToWide(path, widePath, static_cast<int>(std::size(widePath))) ||
      !WriteTypings(widePath)) {
    Log(kTypingsFailure);
  }
}

[[maybe_unused]] const bool kStarted = (InitializeLinvar(), true);

}  // namespace
