#include "lines_json.h"

#include <emmintrin.h>

#include <bit>
#include <cstddef>
#include <cstring>

#include "host_block.h"
#include "json_escape.h"
#include "text_lines.h"

namespace {

// Loaded 16 - n bytes in, the first n lanes set: keeps a block's bytes that
// belong to the line.
alignas(16) constexpr unsigned char kLineLanes[32] = {
    0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff};

__m128i Bytes(char byte) {
  return _mm_set1_epi8(byte);
}

// 0xFF in each byte that needs an escape: below 0x20, quotation mark,
// backslash.
__m128i NeedsEscape(__m128i bytes) {
  const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(bytes, Bytes(0x1f)), bytes);
  const __m128i quote = _mm_cmpeq_epi8(bytes, Bytes('"'));
  const __m128i backslash = _mm_cmpeq_epi8(bytes, Bytes('\\'));
  return _mm_or_si128(control, _mm_or_si128(quote, backslash));
}

// How many bytes each byte's escape adds to it: 1 for the short ones
// (quotation mark, backslash, backspace, tab, line feed, form feed, CR), 5
// for the other bytes below 0x20 (\u00XX), 0 for the rest.
__m128i EscapeGrowth(__m128i bytes) {
  const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(bytes, Bytes(0x1f)), bytes);
  const __m128i quote = _mm_cmpeq_epi8(bytes, Bytes('"'));
  const __m128i backslash = _mm_cmpeq_epi8(bytes, Bytes('\\'));
  // Backspace to CR (8 to 13) have short escapes, but for the vertical tab.
  const __m128i fromBackspace = _mm_sub_epi8(bytes, Bytes(8));
  const __m128i backspaceToCr =
      _mm_cmpeq_epi8(_mm_min_epu8(fromBackspace, Bytes(5)), fromBackspace);
  const __m128i shortControl = _mm_andnot_si128(_mm_cmpeq_epi8(bytes, Bytes(0x0b)), backspaceToCr);
  const __m128i growth =
      _mm_sub_epi8(_mm_and_si128(control, Bytes(5)), _mm_and_si128(shortControl, Bytes(4)));
  return _mm_add_epi8(growth, _mm_and_si128(_mm_or_si128(quote, backslash), Bytes(1)));
}

// The 16 bytes from p on; fewer are left before textEnd, those and zeros.
__m128i LoadBlock(const char* p, const char* textEnd) {
  if (textEnd - p >= 16) return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  alignas(16) char tail[16] = {};
  std::memcpy(tail, p, static_cast<std::size_t>(textEnd - p));
  return _mm_load_si128(reinterpret_cast<const __m128i*>(tail));
}

// Length of the line's escaped form. Bytes up to textEnd may be read.
std::uint64_t EscapedLength(std::string_view line, const char* textEnd) {
  std::uint64_t length = line.size();
  const char* const end = line.data() + line.size();
  for (const char* p = line.data(); p < end; p += 16) {
    const __m128i bytes = LoadBlock(p, textEnd);
    __m128i inLine = Bytes(-1);
    if (end - p < 16) {
      inLine = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kLineLanes + 16 - (end - p)));
    }
    if (_mm_movemask_epi8(_mm_and_si128(NeedsEscape(bytes), inLine)) == 0) continue;
    const __m128i sums =
        _mm_sad_epu8(_mm_and_si128(EscapeGrowth(bytes), inLine), _mm_setzero_si128());
    length += static_cast<std::uint32_t>(_mm_cvtsi128_si32(sums) +
                                         _mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
  }
  return length;
}

// Writes the line's escaped form at out and returns its end. Bytes up to
// textEnd may be read, and whole blocks stored up to outEnd: a block is
// stored before it is checked, and what lies past the run is written over
// next.
char* WriteEscaped(std::string_view line, const char* textEnd, char* out, const char* outEnd) {
  const char* p = line.data();
  const char* const end = p + line.size();
  while (p != end) {
    if (textEnd - p >= 16 && outEnd - out >= 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
      unsigned stops = static_cast<unsigned>(_mm_movemask_epi8(NeedsEscape(bytes)));
      const std::size_t left = static_cast<std::size_t>(end - p);
      if (left < 16) stops |= 1u << left;
      if (stops == 0) {
        p += 16;
        out += 16;
        continue;
      }
      const int run = std::countr_zero(stops);
      p += run;
      out += run;
      if (p == end) break;
    } else if (kJsonEscapeOf[static_cast<unsigned char>(*p)] == 0) {
      *out++ = *p++;  // near the text's or the block's end: byte by byte
      continue;
    }
    out = WriteJsonEscape(*p++, out);
  }
  return out;
}

}  // namespace

std::uint64_t LinesJsonLength(std::string_view text) {
  const char* const textEnd = text.data() + text.size();
  std::uint64_t length = 2;  // the brackets
  ForEachTextLine(text, [&](std::size_t number, std::size_t, std::string_view line) {
    length += (number == 1 ? 2 : 3) + EscapedLength(line, textEnd);  // comma and quotation marks
  });
  return length;
}

void WriteLinesJson(std::string_view text, char* out, std::size_t length) {
  const char* const textEnd = text.data() + text.size();
  const char* const outEnd = out + length;
  *out++ = '[';
  ForEachTextLine(text, [&](std::size_t number, std::size_t, std::string_view line) {
    if (number != 1) *out++ = ',';
    *out++ = '"';
    out = WriteEscaped(line, textEnd, out, outEnd);
    *out++ = '"';
  });
  *out = ']';
}

char* LinesJsonBlock(std::string_view text, void* (*allocateBlock)(std::uint32_t size)) {
  const std::uint64_t length = LinesJsonLength(text);
  if (length > SIZE_MAX || !FitsHostBlock(static_cast<std::size_t>(length))) return nullptr;
  char* const block = static_cast<char*>(allocateBlock(static_cast<std::uint32_t>(length + 1)));
  if (block == nullptr) return nullptr;
  WriteLinesJson(text, block, static_cast<std::size_t>(length));
  block[length] = '\0';
  return block;
}
