// A strict JSON reader for tests: RFC 8259 texts whose value is an object of
// strings or an array of strings, with nothing else around them. Strings are
// decoded to their bytes; \u escapes above 0x7F come out as UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace json_check {

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  std::optional<std::vector<std::pair<std::string, std::string>>> Object() {
    std::vector<std::pair<std::string, std::string>> members;
    if (!Take('{')) return std::nullopt;
    if (!Take('}')) {
      do {
        auto key = String();
        if (!key || !Take(':')) return std::nullopt;
        auto value = String();
        if (!value) return std::nullopt;
        members.emplace_back(std::move(*key), std::move(*value));
      } while (Take(','));
      if (!Take('}')) return std::nullopt;
    }
    if (!AtEnd()) return std::nullopt;
    return members;
  }

  std::optional<std::vector<std::string>> Array() {
    std::vector<std::string> items;
    if (!Take('[')) return std::nullopt;
    if (!Take(']')) {
      do {
        auto item = String();
        if (!item) return std::nullopt;
        items.push_back(std::move(*item));
      } while (Take(','));
      if (!Take(']')) return std::nullopt;
    }
    if (!AtEnd()) return std::nullopt;
    return items;
  }

 private:
  void SkipSpace() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                   text_[pos_] == '\n' || text_[pos_] == '\r'))
      ++pos_;
  }
  bool Take(char c) {
    SkipSpace();
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  bool AtEnd() {
    SkipSpace();
    return pos_ == text_.size();
  }
  std::optional<unsigned> Hex4() {
    if (text_.size() - pos_ < 4) return std::nullopt;
    unsigned value = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = text_[pos_++];
      value <<= 4;
      if (c >= '0' && c <= '9')
        value |= c - '0';
      else if (c >= 'a' && c <= 'f')
        value |= c - 'a' + 10;
      else if (c >= 'A' && c <= 'F')
        value |= c - 'A' + 10;
      else
        return std::nullopt;
    }
    return value;
  }
  static void AppendUtf8(unsigned cp, std::string& out) {
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  std::optional<std::string> String() {
    if (!Take('"')) return std::nullopt;
    std::string out;
    while (pos_ < text_.size()) {
      const unsigned char c = static_cast<unsigned char>(text_[pos_++]);
      if (c == '"') return out;
      if (c < 0x20) return std::nullopt;  // control characters must be escaped
      if (c != '\\') {
        out += static_cast<char>(c);
        continue;
      }
      if (pos_ == text_.size()) return std::nullopt;
      switch (text_[pos_++]) {
        case '"':
          out += '"';
          break;
        case '\\':
          out += '\\';
          break;
        case '/':
          out += '/';
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'u': {
          auto cp = Hex4();
          if (!cp) return std::nullopt;
          if (*cp >= 0xD800 && *cp < 0xDC00) {
            if (text_.substr(pos_, 2) != "\\u") return std::nullopt;  // a low surrogate must follow
            pos_ += 2;
            auto low = Hex4();
            if (!low || *low < 0xDC00 || *low > 0xDFFF) return std::nullopt;
            *cp = 0x10000 + ((*cp - 0xD800) << 10) + (*low - 0xDC00);
          }
          AppendUtf8(*cp, out);
          break;
        }
        default:
          return std::nullopt;
      }
    }
    return std::nullopt;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

inline std::optional<std::vector<std::pair<std::string, std::string>>> ParseObject(
    std::string_view text) {
  return Reader(text).Object();
}

inline std::optional<std::vector<std::string>> ParseArray(std::string_view text) {
  return Reader(text).Array();
}

}  // namespace json_check
