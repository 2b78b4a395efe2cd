// Plain reference versions of the text rules, for tests and fuzz targets to
// compare the real code against. Written for obviousness, not speed.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace reference {

// Every Unicode White_Space character, in UTF-8.
inline const std::string kWhiteSpace[] = {
    "\t",           "\n",           "\v",           "\f",           "\r",           " ",
    "\xC2\x85",     "\xC2\xA0",     "\xE1\x9A\x80", "\xE2\x80\x80", "\xE2\x80\x81", "\xE2\x80\x82",
    "\xE2\x80\x83", "\xE2\x80\x84", "\xE2\x80\x85", "\xE2\x80\x86", "\xE2\x80\x87", "\xE2\x80\x88",
    "\xE2\x80\x89", "\xE2\x80\x8A", "\xE2\x80\xA8", "\xE2\x80\xA9", "\xE2\x80\xAF", "\xE2\x81\x9F",
    "\xE3\x80\x80",
};

// Length of the White_Space character text starts (or ends) with, else 0.
inline std::size_t LeadingWhiteSpace(std::string_view text) {
  for (const std::string& space : kWhiteSpace) {
    if (text.starts_with(space)) return space.size();
  }
  return 0;
}

inline std::size_t TrailingWhiteSpace(std::string_view text) {
  for (const std::string& space : kWhiteSpace) {
    if (text.ends_with(space)) return space.size();
  }
  return 0;
}

// Decodes code point by code point and rejects what is not a scalar value in
// its shortest form.
inline bool IsValidUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    std::size_t length;
    char32_t point;
    if (lead < 0x80) {
      length = 1;
      point = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2;
      point = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3;
      point = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4;
      point = lead & 0x07;
    } else {
      return false;
    }
    if (text.size() - i < length) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      point = point << 6 | (next & 0x3F);
    }
    static constexpr char32_t kShortestFrom[] = {0, 0, 0x80, 0x800, 0x10000};
    if (point < kShortestFrom[length] || point > 0x10FFFF) return false;
    if (point >= 0xD800 && point <= 0xDFFF) return false;
    i += length;
  }
  return true;
}

struct UnsignedLess {
  bool operator()(const std::string& a, const std::string& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
      return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    });
  }
};

// The FXT rules: split at LF, trim whole White_Space characters from both
// ends, skip blank lines, comments and lines without a blank, and enter key
// and value into a map ordered by unsigned bytes, later lines replacing.
inline std::vector<std::pair<std::string, std::string>> FxtEntries(std::string_view text) {
  std::vector<std::string> lines(1);
  for (const char c : text) {
    if (c == '\n') {
      lines.emplace_back();
    } else {
      lines.back() += c;
    }
  }
  std::map<std::string, std::string, UnsignedLess> table;
  for (std::string line : lines) {
    while (const std::size_t length = LeadingWhiteSpace(line)) line.erase(0, length);
    while (const std::size_t length = TrailingWhiteSpace(line)) line.resize(line.size() - length);
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    const std::size_t blank = line.find(' ');
    if (blank == std::string::npos) continue;
    table[line.substr(0, blank)] = line.substr(blank + 1);
  }
  return {table.begin(), table.end()};
}

// The text-mode line rules: cut at 0x1A, CR LF to LF, split at LF; a last
// line without LF counts, an empty one after the last LF does not.
inline std::vector<std::string> TextLines(std::string_view input) {
  const std::string_view text = input.substr(0, input.find('\x1a'));
  std::string cooked;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    cooked += text[i];
  }
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < cooked.size()) {
    const std::size_t lf = cooked.find('\n', start);
    if (lf == std::string::npos) {
      lines.push_back(cooked.substr(start));
      break;
    }
    lines.push_back(cooked.substr(start, lf - start));
    start = lf + 1;
  }
  return lines;
}

// The loaders' JSON string rule, byte by byte: seven bytes have a short
// escape, every other byte below 0x20 becomes \u00XX in lower case, and
// every byte from 0x20 up passes unchanged.
inline std::string JsonString(std::string_view bytes) {
  struct ShortEscape {
    char byte;
    const char* form;
  };
  static constexpr ShortEscape kShortEscapes[] = {{'"', "\\\""}, {'\\', "\\\\"}, {'\b', "\\b"},
                                                  {'\t', "\\t"}, {'\n', "\\n"},  {'\f', "\\f"},
                                                  {'\r', "\\r"}};
  std::string json = "\"";
  for (const char byte : bytes) {
    const ShortEscape* found = nullptr;
    for (const ShortEscape& escape : kShortEscapes) {
      if (escape.byte == byte) found = &escape;
    }
    if (found != nullptr) {
      json += found->form;
    } else if (static_cast<unsigned char>(byte) < 0x20) {
      char form[7];
      std::snprintf(form, sizeof form, "\\u%04x", static_cast<unsigned>(byte));
      json += form;
    } else {
      json += byte;
    }
  }
  return json + '"';
}

// A compact JSON array of strings.
inline std::string JsonArray(const std::vector<std::string>& items) {
  std::string json = "[";
  for (const std::string& item : items) {
    if (json.size() > 1) json += ',';
    json += JsonString(item);
  }
  return json + "]";
}

// A compact JSON object of strings, in the order given.
inline std::string JsonObject(const std::vector<std::pair<std::string, std::string>>& members) {
  std::string json = "{";
  for (const auto& [key, value] : members) {
    if (json.size() > 1) json += ',';
    json += JsonString(key) + ':' + JsonString(value);
  }
  return json + "}";
}

// What Linvar gives for a file: the JSON array of its text-mode lines.
inline std::string LinesJson(std::string_view file) {
  return JsonArray(TextLines(file));
}

// What Quorlet gives for a file: the JSON object of its table; nullopt for
// bytes that are not UTF-8 or hold no entry.
inline std::optional<std::string> FxtJson(std::string_view file) {
  if (!IsValidUtf8(file)) return std::nullopt;
  const auto entries = FxtEntries(file);
  if (entries.empty()) return std::nullopt;
  return JsonObject(entries);
}

}  // namespace reference
