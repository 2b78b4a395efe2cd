#include "os_error_text.h"

#include "utf8.h"

namespace {

constexpr std::uint32_t kNtStatusBit = 0x10000000;

// The UTF-8 form of UTF-16 text; nullopt when it holds a surrogate that is
// not half of a pair.
std::optional<std::string> Utf16ToUtf8(std::basic_string_view<MessageUnit> text) {
  std::string utf8;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t point = text[i];
    if (point >= 0xD800 && point < 0xE000) {
      const bool paired =
          point < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000;
      if (!paired) return std::nullopt;
      point = 0x10000 + ((point - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    if (point < 0x80) {
      utf8 += static_cast<char>(point);
    } else if (point < 0x800) {
      utf8 += static_cast<char>(0xC0 | point >> 6);
      utf8 += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
      utf8 += static_cast<char>(0xE0 | point >> 12);
      utf8 += static_cast<char>(0x80 | (point >> 6 & 0x3F));
      utf8 += static_cast<char>(0x80 | (point & 0x3F));
    } else {
      utf8 += static_cast<char>(0xF0 | point >> 18);
      utf8 += static_cast<char>(0x80 | (point >> 12 & 0x3F));
      utf8 += static_cast<char>(0x80 | (point >> 6 & 0x3F));
      utf8 += static_cast<char>(0x80 | (point & 0x3F));
    }
  }
  return utf8;
}

}  // namespace

std::optional<std::uint32_t> NtdllMessageId(std::uint32_t code) {
  if ((code & kNtStatusBit) == 0) return std::nullopt;
  return code & ~kNtStatusBit;
}

std::string OsErrorText(std::uint32_t code, std::basic_string_view<MessageUnit> message,
                        std::uint32_t lookupError) {
  const std::string number = std::to_string(code);
  if (message.empty()) {
    return "OS Error " + number + " (FormatMessageW() returned error " +
           std::to_string(lookupError) + ")";
  }
  std::optional<std::string> text = Utf16ToUtf8(message);
  if (!text) return "OS Error " + number + " (FormatMessageW() returned invalid UTF-16)";
  TrimTrailingWhiteSpace(*text);
  return *text + " (os error " + number + ")";
}

void TrimTrailingWhiteSpace(std::string& text) {
  while (const std::size_t length = TrailingWhiteSpaceLength(text))
    text.resize(text.size() - length);
}
