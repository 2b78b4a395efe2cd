#include "loader_result.h"

#include <cstdlib>
#include <memory>

#include "fxt_json.h"

namespace {

void* AllocateBlock(std::uint32_t size) {
  return std::malloc(size);
}

int HexDigit(char c) {
  return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
}

// Decodes the JSON string that starts at json[at] (its opening quote) and
// returns the offset just past its closing quote.
std::size_t ReadString(std::string_view json, std::size_t at, std::string& text) {
  text.clear();
  for (++at; json[at] != '"'; ++at) {
    if (json[at] != '\\') {
      text += json[at];
      continue;
    }
    switch (const char escape = json[++at]) {
      case 'b':
        text += '\b';
        break;
      case 't':
        text += '\t';
        break;
      case 'n':
        text += '\n';
        break;
      case 'f':
        text += '\f';
        break;
      case 'r':
        text += '\r';
        break;
      case 'u':  // the loaders write \u00XX only, for bytes below 0x20
        text += static_cast<char>(HexDigit(json[at + 3]) << 4 | HexDigit(json[at + 4]));
        at += 4;
        break;
      default:
        text += escape;
    }
  }
  return at + 1;
}

// The offset just past the closing quote of the JSON string that starts at
// json[at]: the first quote that no backslash escapes.
std::size_t SkipString(std::string_view json, std::size_t at) {
  for (std::size_t quote = json.find('"', at + 1);; quote = json.find('"', quote + 1)) {
    std::size_t backslashes = 0;
    while (json[quote - 1 - backslashes] == '\\') ++backslashes;
    if (backslashes % 2 == 0) return quote + 1;
  }
}

}  // namespace

std::optional<std::string> QuorletJson(std::string_view bytes) {
  const std::unique_ptr<char, decltype(&std::free)> block(FxtJson(bytes, &AllocateBlock),
                                                          &std::free);
  if (!block) return std::nullopt;
  return std::string(block.get());
}

std::vector<std::string> JsonObjectKeys(std::string_view json) {
  std::vector<std::string> keys;
  std::string text;
  // After "{", and after each value's closing quote, a comma or the end.
  for (std::size_t at = 1; at < json.size() && json[at] == '"';) {
    at = ReadString(json, at, text);
    keys.push_back(text);
    at = ReadString(json, at + 1, text) + 1;  // past ":" the value, then past "," or "}"
  }
  return keys;
}

std::size_t JsonObjectSize(std::string_view json) {
  std::size_t members = 0;
  for (std::size_t at = 1; at < json.size() && json[at] == '"'; ++members) {
    at = SkipString(json, SkipString(json, at) + 1) + 1;
  }
  return members;
}
