#include "value_text.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace orvo_tools {

std::string ValueText(const TeskValue& value) {
  if (value.kind == 'i') return "i:" + std::to_string(value.i);
  if (value.kind == 'f') {
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, value.f).ptr;
    return "f:" + std::string(text, end);
  }
  return "s:" + EscapeText(value.s);
}

std::string EscapeText(std::string_view text) {
  std::string escaped = text.starts_with('@') ? "@" : "";
  for (const char c : text) {
    switch (c) {
      case '\t':
        escaped += "\\t";
        break;
      case '\r':
        escaped += "\\r";
        break;
      case '\n':
        escaped += "\\n";
        break;
      case '\\':
        escaped += "\\\\";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

std::string UnescapeText(std::string_view escaped, std::string& text) {
  if (escaped.starts_with("@@")) escaped.remove_prefix(1);
  text.clear();
  for (size_t i = 0; i < escaped.size(); ++i) {
    const char c = escaped[i];
    if (c == '\r' || c == '\n') return "a line break inside a text; write \\r or \\n";
    if (c != '\\') {
      text += c;
      continue;
    }
    if (++i == escaped.size()) return "a backslash at the end; write \\\\ for a backslash";
    switch (escaped[i]) {
      case 't':
        text += '\t';
        break;
      case 'r':
        text += '\r';
        break;
      case 'n':
        text += '\n';
        break;
      case '\\':
        text += '\\';
        break;
      default:
        return std::string("unknown escape \\") + escaped[i] +
               "; the escapes are \\t, \\r, \\n and \\\\";
    }
  }
  return {};
}

namespace {

// Whether the digits before the exponent, of a text that strtof read whole,
// hold anything but zeros: "0.000", "-0e9" and "0x0p3" do not.
bool SignificandIsNonzero(const std::string& text) {
  size_t start = text.find_first_not_of("+-");
  const bool hex = text.compare(start, 2, "0x") == 0 || text.compare(start, 2, "0X") == 0;
  if (hex) start += 2;
  const size_t end = text.find_first_of(hex ? "pP" : "eE", start);
  const std::string_view digits = std::string_view(text).substr(start, end - start);
  return digits.find_first_of(hex ? "123456789abcdefABCDEF" : "123456789") != digits.npos;
}

}  // namespace

std::string ParseFloat(const std::string& text, float& value) {
  if (text.empty() || text.find_first_of(" \t\n\v\f\r") != std::string::npos)
    return "is not a number";
  char* end = nullptr;
  value = std::strtof(text.c_str(), &end);
  if (*end != '\0') return "is not a number";
  if (std::isnan(value)) return {};
  if (std::isinf(value))
    return text.find_first_of("iI") != std::string::npos ? "" : "is beyond the 32-bit float range";
  if (value == 0 && SignificandIsNonzero(text))
    return "is too small for a 32-bit float, which would hold 0";
  return {};
}

std::string ParseInteger(const std::string& text, int32_t& value) {
  if (text.empty() || std::isspace(static_cast<unsigned char>(text[0])))
    return "is not a 32-bit integer";
  char* end = nullptr;
  errno = 0;
  const long long number = std::strtoll(text.c_str(), &end, 10);
  if (*end != '\0' || errno != 0 || number < INT32_MIN || number > INT32_MAX)
    return "is not a 32-bit integer";
  value = static_cast<int32_t>(number);
  return {};
}

std::string WindowsPath(std::string path) {
  if (path.empty() || path[0] != '/') return path;
  for (char& c : path)
    if (c == '/') c = '\\';
  return "Z:" + path;
}

}  // namespace orvo_tools
