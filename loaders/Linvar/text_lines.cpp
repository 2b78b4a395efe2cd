#include "text_lines.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>

#include "host_block.h"
#include "json_escape.h"

namespace {

constexpr char kEndOfText = '\x1a';

// The most of a file's length that sizes the text's first reserve. A larger
// reserve could fail where the text itself would fit (a 32-bit process, a
// file whose text ends at an early 0x1A); beyond it the text grows as
// written.
constexpr std::uint64_t kFirstReserveLimit = 16u << 20;
// How much the reserve grows at most in one step, as a multiple of what it
// was: no more than this is asked for beyond what the text has shown it needs.
constexpr std::size_t kMostGrowth = 4;

// The most one step of the writer puts down without looking at the room
// left: a whole word of a run, or a line's opening (`,"`) and a six-byte
// escape, or the closing of a line and of the array.
constexpr std::size_t kSlack = 16;
// How much more of the reserved text is made writable at a time: the
// zero-fill touches the pages just before they are written.
constexpr std::size_t kStep = 64 * 1024;

// The JSON text being built, and where the line rules stand between chunks.
struct JsonLines {
  // The text, once finished. While it is built, only its first `length`
  // bytes are written; the rest is room the writer fills through a pointer.
  std::string json;
  std::size_t length = 0;
  std::uint64_t sizeHint = 0;  // the file's length
  std::uint64_t taken = 0;     // input bytes handed over so far
  bool lineOpen = false;       // a string has been opened for the current line
  bool pendingCr = false;      // the previous chunk ended in CR
};

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

// The reserve for the whole text: its length so far scaled from the input
// taken to the file's length, with a sixteenth to spare; at least twice
// the reserve so far (the file may be longer than its length said), at most
// kMostGrowth times it; and room for a step in any case.
std::size_t GrownReserve(const JsonLines& lines) {
  const std::size_t reserve = std::max(lines.json.capacity(), lines.json.size() + kStep);
  double expected = static_cast<double>(lines.length) * 17 / 16;
  if (lines.taken != 0 && lines.sizeHint > lines.taken)
    expected *= static_cast<double>(lines.sizeHint) / static_cast<double>(lines.taken);
  const double most = static_cast<double>(reserve) * kMostGrowth;
  return std::max(reserve * 2, static_cast<std::size_t>(std::min(expected, most)));
}

// Makes at least kSlack more bytes writable after the first `length`,
// within the reserve when it allows (no reallocation); beyond it the text
// moves once into a reserve grown as the input so far suggests.
void MakeRoom(JsonLines& lines) {
  std::string& json = lines.json;
  if (json.capacity() - json.size() < kSlack * 4) json.reserve(GrownReserve(lines));
  json.resize(json.size() + std::min(json.capacity() - json.size(), kStep));
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

// Starts the array; reserves room for a file of about sizeHint bytes.
void BeginJsonLines(JsonLines& lines, std::uint64_t sizeHint) {
  // Escapes and quotes rarely add more than an eighth; reserving that up
  // front keeps a typical file from regrowing (and copying) the text.
  lines.sizeHint = sizeHint;
  const auto size = static_cast<std::size_t>(std::min(sizeHint, kFirstReserveLimit));
  lines.json.reserve(size + size / 8 + kSlack);
  lines.json += '[';
  lines.length = 1;
  MakeRoom(lines);
}

// Feeds the next chunk of the input. Returns false when a 0x1A byte in it
// ended the input.
bool AppendJsonLines(JsonLines& lines, std::string_view chunk) {
  bool ended = false;
  lines.taken += chunk.size();
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
        ended = true;
        break;
      }
      cursor.out = OpenLine(lines, cursor.out);
      lines.lineOpen = true;
    }
    CopyRun(lines, cursor, p, end);
    if (p == end) break;
    char byte = *p++;
    if (byte == kEndOfText) {
      ended = true;
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
  return !ended;
}

// Closes the last line (if any bytes followed the last LF) and the array.
void FinishJsonLines(JsonLines& lines) {
  Cursor cursor = CursorAt(lines);
  KeepRoom(lines, cursor);
  // A CR that was the last byte of the input stays.
  if (lines.pendingCr) cursor.out = WriteJsonEscape('\r', cursor.out);
  if (lines.lineOpen) *cursor.out++ = '"';
  *cursor.out++ = ']';
  lines.length = static_cast<std::size_t>(cursor.out - lines.json.data());
  lines.json.resize(lines.length);
}

}  // namespace

std::optional<std::string> LinesJson(std::uint64_t sizeHint, ReadChunk read, void* source) {
  JsonLines lines;
  BeginJsonLines(lines, sizeHint);
  const std::unique_ptr<char[]> chunk(new char[kLinesChunkSize]);
  for (;;) {
    const std::size_t size = read(source, chunk.get(), kLinesChunkSize);
    if (size == 0 || !AppendJsonLines(lines, std::string_view(chunk.get(), size))) break;
  }
  FinishJsonLines(lines);
  if (!FitsHostBlock(lines.json.size())) return std::nullopt;
  return std::move(lines.json);
}
