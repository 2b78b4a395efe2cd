#include "typings_path.h"

#include <cstring>
#include <string_view>

#include "utf8.h"

namespace {

// "C:" alone names the drive's current directory; a backslash after it would
// name its root instead.
bool IsDriveDesignator(std::string_view directory) {
  if (directory.size() != 2 || directory[1] != ':') return false;
  const char letter = directory[0];
  return (letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z');
}

}  // namespace

std::string QuorletTypingsPath(const char (&directory)[kDirectoryBufferSize]) {
  static constexpr std::string_view kFileName = "quorlet.d.ts";
  std::string_view text;
  if (const void* zero = std::memchr(directory, 0, kDirectoryBufferSize)) {
    text = std::string_view(directory,
                            static_cast<std::size_t>(static_cast<const char*>(zero) - directory));
  }
  if (!IsValidUtf8(text)) text = {};

  std::string path(text);
  if (!text.empty() && !text.ends_with('\\') && !text.ends_with('/') && !IsDriveDesignator(text)) {
    path += '\\';
  }
  path += kFileName;
  return path;
}
