// Linvar: scripts import plain-text files ("*.txt", "*.text") as arrays of
// their lines.
//
// Start-up logs the banner, registers LoadLines for both patterns and rewrites
// linvar.d.ts in the host's declaration directory. LoadLines reads a file the
// way the platform's text mode reads it and hands the host the JSON array of
// its lines. Nothing is kept between calls and nothing is thrown into the
// host: every failure ends in a null result or one log line.
#include <windows.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

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
constexpr DWORD kReadChunk = 64 * 1024;
// Above this the file's length no longer sizes the JSON text's first reserve:
// a 32-bit process could not hold the text anyway, and the hint must not
// overflow when BeginJsonLines adds its margin.
constexpr std::size_t kMaxSizeHint = std::size_t{1} << 30;

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

// The sharing the C runtime's fopen grants: others may read and write. The
// path goes unchanged to the narrow file functions (ANSI code page).
HANDLE OpenNarrow(const char* path, DWORD access, DWORD disposition, DWORD flags) {
  return CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition, flags,
                     nullptr);
}

// The length of the file in bytes, capped, as the JSON text's size hint.
std::size_t SizeHint(HANDLE file) {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file, &size) || size.QuadPart < 0) return 0;
  const auto length = static_cast<unsigned long long>(size.QuadPart);
  return length > kMaxSizeHint ? kMaxSizeHint : static_cast<std::size_t>(length);
}

// Reads the whole open file once, chunk by chunk, into the JSON array of its
// lines. A read error ends the input like the end of the file.
void ReadJsonLines(HANDLE file, JsonLines& lines) {
  BeginJsonLines(lines, SizeHint(file));
  const std::unique_ptr<char[]> chunk(new char[kReadChunk]);
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(file, chunk.get(), kReadChunk, &read, nullptr) || read == 0) break;
    if (!AppendJsonLines(lines, std::string_view(chunk.get(), read))) break;
  }
  FinishJsonLines(lines);
}

// The loader callback for "*.txt" and "*.text": the file's lines as a JSON
// array of strings in an AllocMem block, or null when the file cannot be
// opened, the host has no block or memory runs out.
char* ORVO_CDECL LoadLines(const char* path) noexcept {
  if (path == nullptr) return nullptr;
  HANDLE file = OpenNarrow(path, GENERIC_READ, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  JsonLines lines;
  bool complete = true;
  try {
    ReadJsonLines(file, lines);
  } catch (...) {
    complete = false;  // out of memory
  }
  CloseHandle(file);  // before the host is asked for memory
  const std::string& json = lines.json;
  if (!complete || json.size() >= UINT32_MAX) return nullptr;
  char* block = static_cast<char*>(AllocMem(static_cast<uint32_t>(json.size() + 1)));
  if (block == nullptr) return nullptr;
  std::memcpy(block, json.data(), json.size());  // the zero-filled block ends the text
  return block;
}

// Creates or truncates the file at path and writes the stored typings whole.
// False only when the file cannot be opened; write errors are not reported.
bool WriteTypings(const char* path) {
  HANDLE file = OpenNarrow(path, GENERIC_WRITE, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
  if (file == INVALID_HANDLE_VALUE) return false;
  const char* rest = kStoredTypings.data();
  DWORD left = static_cast<DWORD>(kStoredTypings.size());
  while (left > 0) {
    DWORD written = 0;
    if (!::WriteFile(file, rest, left, &written, nullptr) || written == 0) break;
    rest += written;
    left -= written;
  }
  CloseHandle(file);
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
  // normalisation, no conversion.
  const std::size_t length = static_cast<const char*>(end) - directory;
  char path[kDirectoryBufferSize + sizeof kTypingsSuffix];
  std::memcpy(path, directory, length);
  std::memcpy(path + length, kTypingsSuffix, sizeof kTypingsSuffix);
  if (!WriteTypings(path)) Log(kTypingsFailure);
}

[[maybe_unused]] const bool kStarted = (InitializeLinvar(), true);

}  // namespace
