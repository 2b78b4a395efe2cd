#include "value_text.h"

#include <charconv>

namespace orvo_tools {

std::string ValueText(const TeskValue& value) {
  if (value.kind == 'i') return "i:" + std::to_string(value.i);
  if (value.kind == 'f') {
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, value.f).ptr;
    return "f:" + std::string(text, end);
  }
  return std::string("s:") + value.s;
}

std::string WindowsPath(std::string path) {
  if (path.empty() || path[0] != '/') return path;
  for (char& c : path)
    if (c == '/') c = '\\';
  return "Z:" + path;
}

}  // namespace orvo_tools
