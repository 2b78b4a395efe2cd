// The little orvo-check asks of the operating system: a file's bytes, a
// file written, and the system's reason when either fails. Paths are UTF-8.
#pragma once

#include <string>
#include <string_view>

struct FileBytes {
  bool read = false;
  std::string bytes;   // the whole file, when read
  std::string reason;  // the system's text, when not
};

FileBytes ReadFileBytes(const std::string& path);

// Creates or empties the file and writes the bytes; the system's reason on
// failure, the empty text on success.
std::string WriteFileBytes(const std::string& path, std::string_view bytes);
