#include "text_lines.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "json_escape.h"

namespace {

constexpr char kEndOfText = '\x1a';

// The most one step of the writer puts down without looking at the room
// left: a whole word of a run, or a line's opening (`,"`) and a six-byte
// escape, or the closing of a line and of the array.
constexpr std::size_t kSlack = 16;
// How much more of the reserved text is made writable at a time: the
// zero-fill touches the pages just before they are written.
constexpr std::size_t kStep = 64 * 1024;

// Where the writer stands in lines.json: the next byte, and the last place
// where a step may start.
struct Cursor {
  char* out;
  char* limit;
};

Cursor CursorAt(JsonLines& lines) {
  char* const data = lines.json.data();
  return {data + lines.length, data + lines.json.size() - kSlack};
}

// Makes at least kSlack more bytes writable after the first `length`,
// within the reserve when it allows (no reallocation), beyond it otherwise.
void MakeRoom(JsonLines& lines) {
  std::string& json = lines.json;
  const std::size_t reserved = json.capacity() - json.size();
  json.resize(json.size() + (reserved >= kSlack * 4 ? std::min(reserved, kStep) : kStep));
}

// Makes room when the cursor has come near the end of the writable text.
void KeepRoom(JsonLines& lines, Cursor& cursor) {
  if (cursor.out <= cursor.limit) return;
  lines.length = static_cast<std::size_t>(cursor.out - lines.json.data());
  MakeRoom(lines);
  cursor = CursorAt(lines);
}

// Opens the current line's string: the first follows "[" directly, every
// later one a comma.
char* OpenLine(const JsonLines& lines, char* out) {
  if (out - lines.json.data() != 1) *out++ = ',';
  *out++ = '"';
  return out;
}

// Copies bytes that need no escape from p to out, a word at a time (a whole
// word is stored before it is checked: what lies past the run is written
// over next). Stops at the first byte that needs an escape, or at end.
void CopyRun(JsonLines& lines, Cursor& cursor, const char*& p, const char* end) {
  while (static_cast<std::size_t>(end - p) >= sizeof(JsonWord)) {
    KeepRoom(lines, cursor);
    JsonWord word;
    std::memcpy(&word, p, sizeof word);
    std::memcpy(cursor.out, &word, sizeof word);
    if (const JsonWord flags = JsonEscapeFlags(word); flags != 0) {
      const int skip = std::countr_zero(flags) / 8;
      p += skip;
      cursor.out += skip;
      return;
    }
    p += sizeof word;
    cursor.out += sizeof word;
  }
  // Fewer bytes than a word are left: kSlack covers them.
  KeepRoom(lines, cursor);
  while (p != end && kJsonEscapeOf[static_cast<unsigned char>(*p)] == 0) *cursor.out++ = *p++;
}

}  // namespace

void BeginJsonLines(JsonLines& lines, std::size_t sizeHint) {
  // Escapes and quotes rarely add more than an eighth; reserving that up
  // front keeps a typical file from regrowing (and copying) the text.
  lines.json.clear();
  lines.json.reserve(sizeHint + sizeHint / 8 + kSlack);
  lines.json += '[';
  lines.length = 1;
  lines.lineOpen = false;
  lines.pendingCr = false;
  lines.ended = false;
  MakeRoom(lines);
}

bool AppendJsonLines(JsonLines& lines, std::string_view chunk) {
  if (lines.ended) return false;
  const char* p = chunk.data();
  const char* const end = p + chunk.size();
  Cursor cursor = CursorAt(lines);
  KeepRoom(lines, cursor);

  // A CR that ended the previous chunk, its line open: before an LF it is
  // part of the line end, handled below; otherwise it belongs to the line.
  if (lines.pendingCr && p != end) {
    lines.pendingCr = false;
    if (*p != '\n') cursor.out = WriteJsonEscape('\r', cursor.out);
  }

  // Every byte the line rules care about (LF, CR, 0x1A) is below 0x20, so
  // the one scan for bytes to escape finds them too.
  while (p != end) {
    KeepRoom(lines, cursor);
    if (!lines.lineOpen) {
      if (*p == kEndOfText) {
        lines.ended = true;
        break;
      }
      cursor.out = OpenLine(lines, cursor.out);
      lines.lineOpen = true;
    }
    CopyRun(lines, cursor, p, end);
    if (p == end) break;
    char byte = *p++;
    if (byte == kEndOfText) {
      lines.ended = true;
      break;
    }
    if (byte == '\r') {
      if (p == end) {
        lines.pendingCr = true;
        break;
      }
      if (*p == '\n') byte = *p++;
    }
    if (byte == '\n') {
      *cursor.out++ = '"';
      lines.lineOpen = false;
    } else {
      cursor.out = WriteJsonEscape(byte, cursor.out);
    }
  }
  lines.length = static_cast<std::size_t>(cursor.out - lines.json.data());
  return !lines.ended;
}

void FinishJsonLines(JsonLines& lines) {
  Cursor cursor = CursorAt(lines);
  KeepRoom(lines, cursor);
  // A CR that was the last byte of the input stays.
  if (lines.pendingCr) {
    cursor.out = WriteJsonEscape('\r', cursor.out);
    lines.pendingCr = false;
  }
  if (lines.lineOpen) {
    *cursor.out++ = '"';
    lines.lineOpen = false;
  }
  *cursor.out++ = ']';
  lines.length = static_cast<std::size_t>(cursor.out - lines.json.data());
  lines.json.resize(lines.length);
}
