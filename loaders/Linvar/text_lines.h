// Text read the way the platform's text mode reads it, written as a JSON
// array of its lines.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The JSON text being built, and where the line rules stand between chunks.
struct JsonLines {
  // The text, once finished. While it is built, only its first `length`
  // bytes are written; the rest is room the writer fills through a pointer.
  std::string json;
  std::size_t length = 0;
  bool lineOpen = false;   // a string has been opened for the current line
  bool pendingCr = false;  // the previous chunk ended in CR
  bool ended = false;      // a 0x1A byte ended the input
};

// Starts the array; reserves room for a file of about sizeHint bytes.
void BeginJsonLines(JsonLines& lines, std::size_t sizeHint);

// Feeds the next chunk of the file. CR LF reads as LF, a lone CR stays, LF
// ends a line, 0x1A ends the input. Returns false once the input has ended,
// so the caller stops reading.
bool AppendJsonLines(JsonLines& lines, std::string_view chunk);

// Closes the last line (if any bytes followed the last LF) and the array.
void FinishJsonLines(JsonLines& lines);
