#include "fxt_json.h"

#include <algorithm>
#include <cstdint>

#include "host_block.h"
#include "json_escape.h"
#include "utf8.h"

namespace {

// Room reserved for the JSON text before the table's size is known.
constexpr std::size_t kJsonReserve = 128;

// Asks the processor to start loading the line at p; only a hint, so a
// compiler without the builtin simply goes without.
void Prefetch(const void* p) {
#if defined(__GNUC__)
  __builtin_prefetch(p);
#else
  static_cast<void>(p);
#endif
}

// Where the writer stands in the buffer: the next byte, and how many bytes
// the buffer holds beyond what the rest of the text needs without escapes.
struct JsonCursor {
  char* out;
  std::size_t spare;
};

// Writes text as one JSON string, quotes included, at the cursor. The
// buffer must hold room for the text and its quotes; an escape that finds
// too little spare grows the buffer by `growth` bytes (at least five).
void WriteJsonString(std::string_view text, std::string& buffer, JsonCursor& cursor,
                     std::size_t growth) {
  *cursor.out++ = '"';
  const char* p = text.data();
  const char* const end = p + text.size();
  for (;;) {
    cursor.out = CopyUnescaped(p, end, cursor.out);
    if (p == end) break;
    // An escape takes at most five bytes more than the byte.
    if (cursor.spare < 5) {
      const std::size_t written = static_cast<std::size_t>(cursor.out - buffer.data());
      buffer.resize(buffer.size() + growth);
      cursor.out = buffer.data() + written;
      cursor.spare += growth;
    }
    char* const escaped = WriteJsonEscape(*p++, cursor.out);
    cursor.spare -= static_cast<std::size_t>(escaped - cursor.out) - 1;
    cursor.out = escaped;
  }
  *cursor.out++ = '"';
}

}  // namespace

void AppendJsonString(std::string_view text, std::string& buffer) {
  const std::size_t start = buffer.size();
  buffer.resize(start + text.size() + 2);
  JsonCursor cursor{buffer.data() + start, 0};
  WriteJsonString(text, buffer, cursor, std::max<std::size_t>(text.size() / 8, 5));
  buffer.resize(static_cast<std::size_t>(cursor.out - buffer.data()));
}

void EncodeFxtJson(const FxtTable& table, std::string& buffer) {
  // Four quotes, a colon and a comma per entry plus the braces: the text's
  // length when nothing needs an escape. An eighth more is reserved for
  // escapes: a typical table is written without the buffer growing again,
  // which would copy the text into fresh memory.
  std::size_t size = 2;
  for (const FxtEntry& entry : table.entries) size += entry.key.size() + entry.value.size() + 6;
  const std::size_t start = buffer.size();
  buffer.reserve(start + size + size / 8);
  buffer.resize(start + size);
  // The text is written through a pointer: the buffer always holds room
  // for the rest of it without escapes, and `spare` bytes more.
  JsonCursor cursor{buffer.data() + start, 0};
  const std::size_t growth = std::max<std::size_t>(size / 8, 5);

  // The entries' texts lie in file order, so in key order they are read from
  // all over memory: asking for the ones a few entries ahead keeps several
  // loads in flight instead of waiting for each in turn.
  constexpr std::size_t kAhead = 8;
  const std::size_t count = table.entries.size();
  *cursor.out++ = '{';
  for (std::size_t i = 0; i != count; ++i) {
    if (i + kAhead < count) Prefetch(table.entries[i + kAhead].key.data());
    const FxtEntry& entry = table.entries[i];
    if (i != 0) *cursor.out++ = ',';
    WriteJsonString(entry.key, buffer, cursor, growth);
    *cursor.out++ = ':';
    WriteJsonString(entry.value, buffer, cursor, growth);
  }
  *cursor.out++ = '}';
  buffer.resize(static_cast<std::size_t>(cursor.out - buffer.data()));
}

std::size_t FxtJsonRoom(std::size_t fileLength) {
  const std::uint64_t room = std::uint64_t{fileLength} + fileLength / 4 + kJsonReserve;
  return static_cast<std::size_t>(std::min<std::uint64_t>(room, std::string().max_size()));
}

std::optional<std::string> FxtJson(std::string content) {
  if (!IsValidUtf8(content)) return std::nullopt;
  const FxtTable table = ParseFxt(content);
  if (table.entries.empty()) return std::nullopt;
  // The table holds its own copies: the file's buffer, its pages touched
  // already, takes the text.
  std::string json = std::move(content);
  json.clear();
  json.reserve(kJsonReserve);
  EncodeFxtJson(table, json);
  if (!FitsHostBlock(json.size())) return std::nullopt;
  return json;
}
