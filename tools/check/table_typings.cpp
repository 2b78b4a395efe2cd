#include "table_typings.h"

#include <cstdio>

std::string TypingsPathFor(std::string_view tablePath) {
  return std::string(tablePath) + ".d.ts";
}

std::string TypeScriptString(std::string_view text) {
  std::string literal = "\"";
  for (std::size_t i = 0; i != text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte == '"' || byte == '\\') {
      literal += '\\';
      literal += text[i];
    } else if (byte < 0x20 || byte == 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02x", byte);
      literal += escape;
    } else if (byte == 0xE2 && text.substr(i + 1, 1) == "\x80" && i + 2 < text.size() &&
               (text[i + 2] == '\xA8' || text[i + 2] == '\xA9')) {
      // U+2028 and U+2029 end a line in older script syntax.
      literal += text[i + 2] == '\xA8' ? "\\u2028" : "\\u2029";
      i += 2;
    } else {
      literal += text[i];
    }
  }
  return literal + "\"";
}

std::string TableTypings(const std::vector<std::string>& keys) {
  std::string text =
      "// The keys of the table beside this file, written by orvo-check --typings.\n"
      "// Run it again when the table changes (orvo-check --typings --check tells).\n"
      "declare const table: {\n";
  for (const std::string& key : keys) text += "  readonly " + TypeScriptString(key) + ": string;\n";
  return text + "};\nexport default table;\n";
}
