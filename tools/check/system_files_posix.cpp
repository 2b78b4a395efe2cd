#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "system_files.h"

namespace {

// The file descriptor, closed when it goes out of scope.
struct Descriptor {
  int fd;
  ~Descriptor() {
    if (fd >= 0) close(fd);
  }
};

FileBytes Failed() {
  FileBytes result;
  result.reason = std::strerror(errno);
  return result;
}

}  // namespace

FileBytes ReadFileBytes(const std::string& path) {
  const Descriptor file{open(path.c_str(), O_RDONLY | O_CLOEXEC)};
  struct stat info {};
  if (file.fd < 0 || fstat(file.fd, &info) != 0) return Failed();
  FileBytes result;
  result.bytes.resize(static_cast<std::size_t>(info.st_size));
  std::size_t filled = 0;
  for (;;) {
    // The file may have grown since its length was taken.
    if (filled == result.bytes.size()) result.bytes.resize(filled + 4096);
    const ssize_t got = read(file.fd, result.bytes.data() + filled, result.bytes.size() - filled);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return Failed();
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  result.bytes.resize(filled);
  result.read = true;
  return result;
}

std::string WriteFileBytes(const std::string& path, std::string_view bytes) {
  const Descriptor file{open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)};
  if (file.fd < 0) return std::strerror(errno);
  while (!bytes.empty()) {
    const ssize_t written = write(file.fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return std::strerror(errno);
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return {};
}
