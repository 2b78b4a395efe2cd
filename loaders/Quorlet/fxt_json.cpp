#include "fxt_json.h"

#include "json_escape.h"

void AppendJsonString(std::string_view text, std::string& buffer) {
  buffer += '"';
  EscapeJsonString(text, buffer);
  buffer += '"';
}

void EncodeFxtJson(const FxtTable& table, std::string& buffer) {
  // Four quotes, a colon and a comma per entry plus the braces: a table
  // without escapes is written without the buffer growing again.
  std::size_t size = 2;
  for (const FxtEntry& entry : table.entries) size += entry.key.size() + entry.value.size() + 6;
  buffer.reserve(buffer.size() + size);

  buffer += '{';
  for (const FxtEntry& entry : table.entries) {
    if (&entry != table.entries.data()) buffer += ',';
    AppendJsonString(entry.key, buffer);
    buffer += ':';
    AppendJsonString(entry.value, buffer);
  }
  buffer += '}';
}
