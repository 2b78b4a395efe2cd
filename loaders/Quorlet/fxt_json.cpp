#include "fxt_json.h"

#include "json_escape.h"

namespace {

// Asks the processor to start loading the line at p; only a hint, so a
// compiler without the builtin simply goes without.
void Prefetch(const void* p) {
#if defined(__GNUC__)
  __builtin_prefetch(p);
#else
  static_cast<void>(p);
#endif
}

}  // namespace

void AppendJsonString(std::string_view text, std::string& buffer) {
  buffer += '"';
  EscapeJsonString(text, buffer);
  buffer += '"';
}

void EncodeFxtJson(const FxtTable& table, std::string& buffer) {
  // Four quotes, a colon and a comma per entry plus the braces, and an
  // eighth more for escapes: a typical table is written without the buffer
  // growing again, which would copy the text into fresh memory.
  std::size_t size = 2;
  for (const FxtEntry& entry : table.entries) size += entry.key.size() + entry.value.size() + 6;
  buffer.reserve(buffer.size() + size + size / 8);

  // The entries' texts lie in file order, so in key order they are read from
  // all over memory: asking for the ones a few entries ahead keeps several
  // loads in flight instead of waiting for each in turn.
  constexpr std::size_t kAhead = 8;
  const std::size_t count = table.entries.size();
  buffer += '{';
  for (std::size_t i = 0; i != count; ++i) {
    if (i + kAhead < count) Prefetch(table.entries[i + kAhead].key.data());
    const FxtEntry& entry = table.entries[i];
    buffer.append(i == 0 ? "\"" : ",\"", i == 0 ? 1 : 2);
    EscapeJsonString(entry.key, buffer);
    buffer.append("\":\"", 3);
    EscapeJsonString(entry.value, buffer);
    buffer += '"';
  }
  buffer += '}';
}
