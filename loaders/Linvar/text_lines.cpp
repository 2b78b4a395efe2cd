#include "text_lines.h"

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
    if (*p != '\n') AppendJsonEscape('\r', json);
  }

  // Every byte the line rules care about (LF, CR, 0x1A) is below 0x20, so
  // one scan finds both them and the bytes to escape; the runs between are
  // copied as blocks.
  const char* run = p;
  for (;;) {
    p = SkipUnescaped(p, end);
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
      AppendJsonEscape(byte, json);
    }
    run = p;
  }
}

void FinishJsonLines(JsonLines& lines) {
  // A CR that was the last byte of the input stays.
  if (lines.pendingCr) {
    AppendJsonEscape('\r', lines.json);
    lines.pendingCr = false;
  }
  if (lines.lineOpen) {
    lines.json += '"';
    lines.lineOpen = false;
  }
  lines.json += ']';
}
