// The FXT line rules, in one walker that the parser and the checker share.
#pragma once

#include <emmintrin.h>

#include <bit>
#include <cstddef>
#include <string_view>

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

// The first byte equal to byte from p on, or end; sixteen bytes at a time.
inline const char* FindByte(const char* p, const char* end, char byte) {
  const __m128i pattern = _mm_set1_epi8(byte);
  for (; end - p >= 16; p += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    if (const unsigned mask =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, pattern)));
        mask != 0) {
      return p + std::countr_zero(mask);
    }
  }
  while (p != end && *p != byte) ++p;
  return p;
}

// True for the bytes of ASCII characters other than white space and control
// characters: no White_Space character contains them.
inline bool IsPlainAscii(char byte) {
  const auto value = static_cast<unsigned char>(byte);
  return value > ' ' && value < 0x80;
}

// The line cut of Unicode White_Space at both ends. Most lines start and end
// in a plain ASCII byte, which spares the full checks.
inline std::string_view Trimmed(std::string_view line) {
  if (!line.empty() && !IsPlainAscii(line.front())) {
    while (const std::size_t length = LeadingWhiteSpaceLength(line)) line.remove_prefix(length);
  }
  if (!line.empty() && !IsPlainAscii(line.back())) {
    while (const std::size_t length = TrailingWhiteSpaceLength(line)) line.remove_suffix(length);
  }
  return line;
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
    const char* const lineEnd = fxt_lines::FindByte(start, end, '\n');
    FxtLine line{++number,
                 static_cast<std::size_t>(start - begin),
                 std::string_view(start, static_cast<std::size_t>(lineEnd - start)),
                 FxtLineKind::kBlank,
                 {},
                 {}};
    start = lineEnd != end ? lineEnd + 1 : end;
    if (lineEnd != end && line.text.ends_with('\r')) line.text.remove_suffix(1);

    const std::string_view content = fxt_lines::Trimmed(line.text);
    if (content.empty()) {
      line.kind = FxtLineKind::kBlank;
    } else if (content.front() == '#' || content.front() == ';') {
      line.kind = FxtLineKind::kComment;
    } else {
      const char* const stop = content.data() + content.size();
      const char* const blank = fxt_lines::FindByte(content.data(), stop, ' ');
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
