#include "text_lines.h"

#include <algorithm>
#include <memory>
#include <string_view>
#include <utility>

#include "host_block.h"
#include "json_escape.h"

namespace {

// Appends the line as the body of a JSON string.
void AppendEscaped(std::string& json, std::string_view line) {
  const char* p = line.data();
  const char* const end = p + line.size();
  while (p != end) {
    const char* const run = p;
    while (p != end && kJsonEscapeOf[static_cast<unsigned char>(*p)] == 0) ++p;
    json.append(run, p);
    if (p == end) break;
    char escape[6];
    json.append(escape, WriteJsonEscape(*p++, escape));
  }
}

}  // namespace

std::optional<std::string> LinesJson(std::uint64_t sizeHint, ReadChunk read, void* source) {
  // The file's length sizes the text's reserve, capped: a 32-bit process may
  // not have a block of a huge file's length whose text ends at an early 0x1A.
  std::string text;
  text.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(sizeHint, 16u << 20)));
  const std::unique_ptr<char[]> chunk(new char[kLinesChunkSize]);
  for (;;) {
    const std::string_view got(chunk.get(), read(source, chunk.get(), kLinesChunkSize));
    const std::size_t length = TextModeLength(got);
    text.append(got.data(), length);
    if (got.empty() || length != got.size()) break;
  }
  std::string json = "[";
  ForEachTextLine(text, [&json](std::size_t number, std::size_t, std::string_view line) {
    if (number != 1) json += ',';
    json += '"';
    AppendEscaped(json, line);
    json += '"';
  });
  json += ']';
  if (!FitsHostBlock(json.size())) return std::nullopt;
  return json;
}
