#include "lines_json.h"

#include <emmintrin.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstring>

#include "host_block.h"
#include "json_escape.h"
#include "text_lines.h"

namespace {

// Loaded 16 - n bytes in, the first n lanes set: keeps the bytes of a
// block that belong to the text.
constexpr unsigned char kTextLanes[32] = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
                                          0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff};

__m128i Bytes(char byte) {
  return _mm_set1_epi8(byte);
}

__m128i Load(const char* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

__m128i Control(__m128i bytes) {
  return _mm_cmpeq_epi8(_mm_min_epu8(bytes, Bytes(0x1f)), bytes);
}

__m128i QuoteOrBackslash(__m128i bytes) {
  return _mm_or_si128(_mm_cmpeq_epi8(bytes, Bytes('"')), _mm_cmpeq_epi8(bytes, Bytes('\\')));
}

// 0xFF in each byte that needs an escape: below 0x20, quotation mark,
// backslash. Line ends are among them.
__m128i NeedsEscape(__m128i bytes) {
  return _mm_or_si128(Control(bytes), QuoteOrBackslash(bytes));
}

// How many bytes of the JSON text each byte of a block becomes (at most
// six): a line feed ends a string and starts the next (three: `","`), a CR
// that goes with it none; otherwise the byte (one), its short escape (two: quotation
// mark, backslash, backspace, tab, form feed, CR) or \u00XX (six).
__m128i JsonBytes(__m128i bytes, const TextLineEnds& ends) {
  // Backspace to CR (8 to 13) have short escapes, but for the vertical tab.
  const __m128i fromBackspace = _mm_sub_epi8(bytes, Bytes(8));
  const __m128i backspaceToCr =
      _mm_cmpeq_epi8(_mm_min_epu8(fromBackspace, Bytes(5)), fromBackspace);
  const __m128i shortControl = _mm_andnot_si128(_mm_cmpeq_epi8(bytes, Bytes(0x0b)), backspaceToCr);
  __m128i count = _mm_add_epi8(Bytes(1), _mm_and_si128(Control(bytes), Bytes(5)));
  count = _mm_sub_epi8(count, _mm_and_si128(shortControl, Bytes(4)));
  count = _mm_add_epi8(count, _mm_and_si128(QuoteOrBackslash(bytes), Bytes(1)));
  count = _mm_add_epi8(count, _mm_and_si128(ends.lineFeeds, Bytes(1)));
  return _mm_sub_epi8(count, _mm_and_si128(ends.droppedCrs, Bytes(2)));
}

// JsonBytes of the 16 bytes at p; 17 can be loaded.
__m128i BlockJsonBytes(const char* p) {
  const __m128i bytes = Load(p);
  return JsonBytes(bytes, TextLineEndsIn(bytes, Load(p + 1)));
}

// What a byte that needs an escape becomes in the JSON text, padded to 8
// bytes so that it is copied in one move; a line feed ends the line's string
// and starts the next.
struct JsonForm {
  char text[7];
  unsigned char size;
};
static_assert(sizeof(JsonForm) == 8);

constexpr std::array<JsonForm, 256> kJsonForms = [] {
  constexpr char kHexDigits[] = "0123456789abcdef";
  std::array<JsonForm, 256> forms{};
  for (int byte = 0; byte < 256; ++byte) {
    const char escape = kJsonEscapeOf[byte];
    if (escape == 0) continue;
    forms[byte] =
        escape == 'u'
            ? JsonForm{{'\\', 'u', '0', '0', kHexDigits[byte >> 4], kHexDigits[byte & 15]}, 6}
            : JsonForm{{'\\', escape}, 2};
  }
  forms['\n'] = {{'"', ',', '"'}, 3};
  return forms;
}();

// The most a block of 16 bytes writes, what lies past its text included:
// its forms, then 16 bytes after the last of them.
constexpr std::size_t kBlockOutput = 16 * 6 + 8 + 16;
// How much of the text is written before it is copied into the block.
constexpr std::size_t kStagingSize = 8 * 1024;

// Writes what the first n (at most 16) of the bytes at p become, and returns
// the end of it. 33 bytes from p can be loaded; kBlockOutput bytes from out
// can be written. Where each byte goes is the running sum of what the bytes
// before it become, so the escapes' writes do not wait on one another: each
// writes its form, then the rest of the block raw after it, which the next
// escape writes over. The first two escapes are written without a branch
// (most blocks have no more): a block with fewer writes them past its end,
// as if a byte after it needed them, and the next block writes over that.
char* WriteBlock(const char* p, unsigned n, char* out) {
  const __m128i bytes = Load(p);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
  const TextLineEnds lineEnds = TextLineEndsIn(bytes, Load(p + 1));
  const __m128i sizes = JsonBytes(bytes, lineEnds);
  __m128i ends = _mm_add_epi8(sizes, _mm_slli_si128(sizes, 1));
  ends = _mm_add_epi8(ends, _mm_slli_si128(ends, 2));
  ends = _mm_add_epi8(ends, _mm_slli_si128(ends, 4));
  ends = _mm_add_epi8(ends, _mm_slli_si128(ends, 8));
  // Past the block, every byte starts and ends where the block ends.
  __m128i total = _mm_unpackhi_epi8(ends, ends);
  total = _mm_shufflehi_epi16(total, 0xff);
  total = _mm_unpackhi_epi64(total, total);
  alignas(16) unsigned char starts[32];
  alignas(16) unsigned char after[32];
  _mm_store_si128(reinterpret_cast<__m128i*>(starts), _mm_sub_epi8(ends, sizes));
  _mm_store_si128(reinterpret_cast<__m128i*>(starts + 16), total);
  _mm_store_si128(reinterpret_cast<__m128i*>(after), ends);
  _mm_store_si128(reinterpret_cast<__m128i*>(after + 16), total);
  // A CR that goes with the line feed after it becomes nothing: the line
  // feed's form is written where it would have started.
  const __m128i escaped = _mm_andnot_si128(lineEnds.droppedCrs, NeedsEscape(bytes));
  unsigned escapes = static_cast<unsigned>(_mm_movemask_epi8(escaped)) & ((1u << n) - 1);
  const auto writeEscape = [&](unsigned at) {
    std::memcpy(out + starts[at], &kJsonForms[static_cast<unsigned char>(p[at])], sizeof(JsonForm));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + after[at]), Load(p + at + 1));
  };
  writeEscape(static_cast<unsigned>(std::countr_zero(escapes | 1u << 16)));
  escapes &= escapes - 1;
  writeEscape(static_cast<unsigned>(std::countr_zero(escapes | 1u << 16)));
  escapes &= escapes - 1;
  for (; escapes != 0; escapes &= escapes - 1) {
    writeEscape(static_cast<unsigned>(std::countr_zero(escapes)));
  }
  return out + after[n - 1];
}

}  // namespace

std::uint64_t LinesJsonLength(std::string_view text) {
  if (text.empty()) return 2;
  __m128i sums = _mm_setzero_si128();
  std::size_t offset = 0;
  for (; text.size() - offset >= 17; offset += 16) {
    sums = _mm_add_epi64(sums,
                         _mm_sad_epu8(BlockJsonBytes(text.data() + offset), _mm_setzero_si128()));
  }
  // The last 16 bytes at most, from a copy followed by zeros.
  char tail[33] = {};
  const std::size_t left = text.size() - offset;
  std::memcpy(tail, text.data() + offset, left);
  const __m128i inText = Load(reinterpret_cast<const char*>(kTextLanes) + 16 - left);
  const __m128i last = _mm_and_si128(BlockJsonBytes(tail), inText);
  sums = _mm_add_epi64(sums, _mm_sad_epu8(last, _mm_setzero_si128()));
  std::uint64_t halves[2];
  std::memcpy(halves, &sums, sizeof halves);
  // "[" and the first string's quotation mark, the bytes, then the last
  // string's quotation mark and "]"; after a last line feed no string has
  // started: its `,"` is taken back and "]" follows.
  const std::uint64_t framing = text.back() == '\n' ? 2 - 2 + 1 : 2 + 2;
  return halves[0] + halves[1] + framing;
}

char* LinesJsonBlock(std::string_view text, void* (*allocateBlock)(std::uint32_t size)) {
  const std::uint64_t length = LinesJsonLength(text);
  if (length > SIZE_MAX || !FitsHostBlock(static_cast<std::size_t>(length))) return nullptr;
  char* const block = static_cast<char*>(allocateBlock(static_cast<std::uint32_t>(length + 1)));
  if (block == nullptr) return nullptr;
  // The text is written a few kilobytes at a time into staging, which stays
  // in the cache, and copied from there into the block: the writer's many
  // small overlapping stores never wait for the block's memory.
  char staging[kStagingSize + kBlockOutput];
  char* out = block;
  char* staged = staging;
  *staged++ = '[';
  if (!text.empty()) {
    *staged++ = '"';
    const auto write = [&](const char* p, unsigned n) {
      staged = WriteBlock(p, n, staged);
      if (staged - staging < static_cast<std::ptrdiff_t>(kStagingSize)) return;
      // The last two bytes stay: they may be a `,"` to take back.
      const std::size_t size = static_cast<std::size_t>(staged - staging) - 2;
      std::memcpy(out, staging, size);
      out += size;
      std::memcpy(staging, staging + size, 2);
      staged = staging + 2;
    };
    std::size_t offset = 0;
    for (; text.size() - offset >= 33; offset += 16) write(text.data() + offset, 16);
    // The last 32 bytes at most, from a copy followed by zeros.
    char tail[64] = {};
    const std::size_t left = text.size() - offset;
    std::memcpy(tail, text.data() + offset, left);
    for (std::size_t at = 0; at < left; at += 16) {
      write(tail + at, static_cast<unsigned>(std::min<std::size_t>(left - at, 16)));
    }
    if (text.back() == '\n') {
      staged -= 2;  // no string after the last line feed
    } else {
      *staged++ = '"';
    }
  }
  *staged++ = ']';
  *staged++ = '\0';
  std::memcpy(out, staging, static_cast<std::size_t>(staged - staging));
  return block;
}
