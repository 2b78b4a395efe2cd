// The FXT line rules, in one walker that the parser and the checker share.
#pragma once

#include <emmintrin.h>

#include <bit>
#include <cstddef>
#include <string_view>

#include "byte_scan.h"
#include "utf8.h"

enum class FxtLineKind {
  kEntry,    // a key, the first blank, a value
  kBlank,    // empty once trimmed
  kComment,  // "#" or ";" first once trimmed
  kNoBlank,  // content without a blank: skipped
};

struct FxtLine {
  std::size_t number;     // 1-based
  std::size_t offset;     // of the line's first byte in the text
  std::string_view text;  // the line without its end (LF, and one CR directly before it)
  FxtLineKind kind;
  std::string_view key, value;  // views into the text, kEntry only
};

namespace fxt_lines {

// True for the bytes of ASCII characters other than white space and control
// characters: no White_Space character contains them.
inline bool IsPlainAscii(char byte) {
  const auto value = static_cast<unsigned char>(byte);
  return value > ' ' && value < 0x80;
}

// The line cut of Unicode White_Space at its end. Most lines end in a plain
// ASCII byte, which spares the full checks.
inline std::string_view TrimmedEnd(std::string_view line) {
  if (!line.empty() && !IsPlainAscii(line.back())) {
    while (const std::size_t length = TrailingWhiteSpaceLength(line)) line.remove_suffix(length);
  }
  return line;
}

// The line cut of Unicode White_Space at both ends.
inline std::string_view Trimmed(std::string_view line) {
  if (!line.empty() && !IsPlainAscii(line.front())) {
    while (const std::size_t length = LeadingWhiteSpaceLength(line)) line.remove_prefix(length);
  }
  return TrimmedEnd(line);
}

// The bytes from start to the end of their line, without the line end: LF,
// and one CR directly before it. next is where the following line starts
// (end after the last line).
inline std::string_view LineFrom(const char* start, const char* end, const char*& next) {
  const char* const lineFeed = FindByte(start, end, '\n');
  std::string_view line(start, static_cast<std::size_t>(lineFeed - start));
  next = lineFeed != end ? lineFeed + 1 : end;
  if (lineFeed != end && line.ends_with('\r')) line.remove_suffix(1);
  return line;
}

// The end of the value of the entry whose key starts at key: the entry's
// line, from there on, trimmed at its end.
inline const char* EntryEnd(const char* key, const char* end) {
  const char* next;
  const std::string_view rest = TrimmedEnd(LineFrom(key, end, next));
  return rest.data() + rest.size();
}

}  // namespace fxt_lines

// Calls visit(const FxtLine&) for every line of the text, in file order. LF
// ends a line and one CR directly before it belongs to the line end; the
// bytes after the last LF are a last line when there are any. A line is
// trimmed of Unicode White_Space at both ends, then: empty, a comment ("#"
// or ";" first), without a blank, or an entry whose key is what comes before
// the first blank and whose value is what comes after it (neither empty).
template <class Visit>
void ForEachFxtLine(std::string_view text, Visit&& visit) {
  const char* const begin = text.data();
  const char* const end = begin + text.size();
  std::size_t number = 0;
  for (const char* start = begin; start != end;) {
    const std::size_t offset = static_cast<std::size_t>(start - begin);
    FxtLine line{++number, offset, fxt_lines::LineFrom(start, end, start), FxtLineKind::kBlank,
                 {},       {}};
    const std::string_view content = fxt_lines::Trimmed(line.text);
    if (content.empty()) {
      line.kind = FxtLineKind::kBlank;
    } else if (content.front() == '#' || content.front() == ';') {
      line.kind = FxtLineKind::kComment;
    } else {
      const char* const stop = content.data() + content.size();
      const char* const blank = FindByte(content.data(), stop, ' ');
      if (blank == stop) {
        line.kind = FxtLineKind::kNoBlank;
      } else {
        // Trimming leaves neither end blank, so key and value are never empty.
        line.kind = FxtLineKind::kEntry;
        line.key =
            std::string_view(content.data(), static_cast<std::size_t>(blank - content.data()));
        line.value = std::string_view(blank + 1, static_cast<std::size_t>(stop - blank - 1));
      }
    }
    visit(static_cast<const FxtLine&>(line));
  }
}
