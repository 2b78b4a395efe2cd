#include "text_lines.h"

#include <bit>
#include <cstring>

#include "json_escape.h"

namespace {

constexpr char kEndOfText = '\x1a';

// Opens the string of the current line unless it is open already.
void OpenLine(JsonLines& lines) {
  if (lines.lineOpen) return;
  // Only "[" so far means this is the first line: no separating comma.
  if (lines.json.size() == 1) {
    lines.json += '"';
  } else {
    lines.json.append(",\"", 2);
  }
  lines.lineOpen = true;
}

// Returns the first byte from p on that is not ordinary: below 0x20 (LF, CR
// and 0x1A among them), quotation mark or backslash. Lines are mostly runs of
// ordinary bytes, so this looks at a machine word at a time.
const char* SkipOrdinary(const char* p, const char* end) {
  using Word = std::size_t;
  // The lowest flagged byte of a word is its first one only in this order.
  static_assert(std::endian::native == std::endian::little);
  constexpr Word kOnes = ~Word{0} / 0xFF;
  constexpr Word kHighs = kOnes * 0x80;
  constexpr Word kQuotes = kOnes * '"';
  constexpr Word kBackslashes = kOnes * '\\';
  while (static_cast<std::size_t>(end - p) >= sizeof(Word)) {
    Word word;
    std::memcpy(&word, p, sizeof word);
    // The high bit of a byte is set where the byte is below 0x20 or equals
    // one of the two. A borrow can flag bytes above a flagged one, never
    // below it, so the lowest flag is exact.
    const Word quotes = word ^ kQuotes;
    const Word backslashes = word ^ kBackslashes;
    const Word flags = ((word - kOnes * 0x20) & ~word) | ((quotes - kOnes) & ~quotes) |
                       ((backslashes - kOnes) & ~backslashes);
    if (const Word found = flags & kHighs; found != 0) {
      return p + std::countr_zero(found) / 8;
    }
    p += sizeof(Word);
  }
  while (p != end && kJsonEscapeOf[static_cast<unsigned char>(*p)] == 0) ++p;
  return p;
}

// Appends the escaped form of one byte that needs it, the form
// EscapeJsonString writes. Calling that for a single byte costs three appends
// and made tab-indented text about half again as slow.
void AppendEscape(char byte, std::string& json) {
  static constexpr char kHexDigits[] = "0123456789abcdef";
  const unsigned char value = static_cast<unsigned char>(byte);
  const char escape = kJsonEscapeOf[value];
  if (escape == 'u') {
    const char form[6] = {'\\', 'u', '0', '0', kHexDigits[value >> 4], kHexDigits[value & 15]};
    json.append(form, sizeof form);
  } else {
    const char form[2] = {'\\', escape};
    json.append(form, sizeof form);
  }
}

}  // namespace

void BeginJsonLines(JsonLines& lines, std::size_t sizeHint) {
  lines.json.clear();
  // Escapes and quotes rarely add more than an eighth; reserving that up
  // front keeps a typical file from regrowing (and copying) the text.
  lines.json.reserve(sizeHint + sizeHint / 8 + 16);
  lines.json += '[';
  lines.lineOpen = false;
  lines.pendingCr = false;
  lines.ended = false;
}

bool AppendJsonLines(JsonLines& lines, std::string_view chunk) {
  if (lines.ended) return false;
  std::string& json = lines.json;
  const char* p = chunk.data();
  const char* const end = p + chunk.size();
  if (p == end) return true;

  // A CR that ended the previous chunk: with an LF it is dropped (the LF is
  // handled below), otherwise it belongs to the line. Its line is open.
  if (lines.pendingCr) {
    lines.pendingCr = false;
    if (*p != '\n') AppendEscape('\r', json);
  }

  // Every byte the line rules care about (LF, CR, 0x1A) is below 0x20, so
  // one scan finds both them and the bytes to escape; the runs between are
  // copied as blocks.
  const char* run = p;
  for (;;) {
    p = SkipOrdinary(p, end);
    if (p != run) {
      OpenLine(lines);
      json.append(run, static_cast<std::size_t>(p - run));
    }
    if (p == end) return true;
    const char byte = *p++;
    if (byte == kEndOfText) {
      lines.ended = true;
      return false;
    }
    OpenLine(lines);
    if (byte == '\r' && p == end) {
      lines.pendingCr = true;
      return true;
    }
    const bool crLf = byte == '\r' && *p == '\n';
    if (crLf) ++p;
    if (byte == '\n' || crLf) {
      json += '"';
      lines.lineOpen = false;
    } else {
      AppendEscape(byte, json);
    }
    run = p;
  }
}

void FinishJsonLines(JsonLines& lines) {
  // A CR that was the last byte of the input stays.
  if (lines.pendingCr) {
    AppendEscape('\r', lines.json);
    lines.pendingCr = false;
  }
  if (lines.lineOpen) {
    lines.json += '"';
    lines.lineOpen = false;
  }
  lines.json += ']';
}
