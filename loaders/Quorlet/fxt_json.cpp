#include "fxt_json.h"

#include <emmintrin.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>

#include "core_memory.h"
#include "fxt_lines.h"
#include "host_block.h"
#include "json_escape.h"

namespace {

// An entry, by offsets into the file's bytes: its value starts one byte (the
// blank) after its key, and keys lie in file order, so the key's offset also
// tells which of two entries came later. Offset is 32-bit unless the text is
// larger, which keeps the records, all in fresh memory, at 24 bytes.
template <class Offset>
struct Record {
  // Eight key bytes from where the sort has got to (the start, at first), as
  // a big-endian number, zero past the key's end: most comparisons and
  // bucket choices need not read the keys, which lie all over memory.
  std::uint64_t prefix;
  Offset key;
  Offset keySize;
  Offset valueSize;  // 0: dropped, a later line has the same key
  Offset escapes;    // bytes that escapes add to the entry's key and value
};

static_assert(sizeof(Record<std::uint32_t>) == 24);

template <class Offset>
bool IsDropped(const Record<Offset>& record) {
  return record.valueSize == 0;
}

template <class Offset>
void Drop(Record<Offset>& record) {
  record.valueSize = 0;
}

// Key bytes [depth, depth + 8) as a big-endian number, zero-padded.
std::uint64_t PrefixAt(const char* key, std::size_t keySize, std::size_t depth) {
  std::uint64_t prefix = 0;
  if (keySize >= depth + 8) {
    std::memcpy(&prefix, key + depth, 8);
    return __builtin_bswap64(prefix);
  }
  for (std::size_t i = depth; i < depth + 8; ++i) {
    prefix = prefix << 8 | (i < keySize ? static_cast<unsigned char>(key[i]) : 0u);
  }
  return prefix;
}

// Orders two keys that agree in their bytes before base and whose prefixes
// hold their bytes [base, base + 8): by unsigned bytes, a prefix first.
// Different prefixes decide alone: zero padding and a zero byte look alike
// only where the shorter key has ended.
template <class Offset>
int CompareKeys(const char* text, const Record<Offset>& a, const Record<Offset>& b,
                std::size_t base) {
  if (a.prefix != b.prefix) return a.prefix < b.prefix ? -1 : 1;
  const std::size_t common = std::min(a.keySize, b.keySize);
  const std::size_t known = std::min(common, base + 8);
  if (common > known) {
    const int order = std::memcmp(text + a.key + known, text + b.key + known, common - known);
    if (order != 0) return order;
  }
  return a.keySize < b.keySize ? -1 : a.keySize > b.keySize ? 1 : 0;
}

// Ranges this small, or whose keys agree in this many bytes, are sorted by
// comparison instead of by buckets.
constexpr std::size_t kSmallRange = 32;
constexpr std::size_t kMaxBucketDepth = 32;

// Sorts by comparison, equal keys in file order, and drops all but the last
// of each run of equal keys.
template <class Offset>
void SortByComparison(Record<Offset>* first, Record<Offset>* last, const char* text,
                      std::size_t base) {
  std::sort(first, last, [text, base](const Record<Offset>& a, const Record<Offset>& b) {
    const int order = CompareKeys(text, a, b, base);
    return order != 0 ? order < 0 : a.key < b.key;
  });
  for (Record<Offset>* record = first; record + 1 < last; ++record) {
    if (CompareKeys(text, record[0], record[1], base) == 0) Drop(record[0]);
  }
}

// The bucket of a record at depth: 0 when its key has ended there, else one
// more than its key's byte there.
template <class Offset>
unsigned BucketOf(const Record<Offset>& record, std::size_t depth) {
  if (record.keySize <= depth) return 0;
  return 1 + static_cast<unsigned>(record.prefix >> (56 - 8 * (depth % 8)) & 0xFF);
}

constexpr unsigned kBuckets = 257;

// Moves the records into their buckets at depth, in place, and sets ends to
// where each bucket ends.
template <class Offset>
void Distribute(Record<Offset>* first, Record<Offset>* last, std::size_t depth,
                std::size_t (&ends)[kBuckets]) {
  std::size_t heads[kBuckets] = {};
  for (const Record<Offset>* record = first; record != last; ++record) {
    ++heads[BucketOf(*record, depth)];
  }
  std::size_t sum = 0;
  for (unsigned bucket = 0; bucket != kBuckets; ++bucket) {
    const std::size_t count = heads[bucket];
    heads[bucket] = sum;
    sum += count;
    ends[bucket] = sum;
  }
  for (unsigned bucket = 0; bucket != kBuckets; ++bucket) {
    while (heads[bucket] != ends[bucket]) {
      Record<Offset> moving = first[heads[bucket]];
      for (unsigned target = BucketOf(moving, depth); target != bucket;
           target = BucketOf(moving, depth)) {
        std::swap(moving, first[heads[target]++]);
      }
      first[heads[bucket]++] = moving;
    }
  }
}

// Sorts records whose keys agree in their first depth bytes, most
// significant byte first, and drops all but the last of equal keys.
template <class Offset>
void SortRange(Record<Offset>* first, Record<Offset>* last, const char* text, std::size_t depth) {
  for (;;) {
    const std::size_t count = static_cast<std::size_t>(last - first);
    if (count < 2) return;
    if (depth % 8 == 0 && depth != 0) {
      for (Record<Offset>* record = first; record != last; ++record) {
        record->prefix = PrefixAt(text + record->key, record->keySize, depth);
      }
    }
    if (count <= kSmallRange || depth >= kMaxBucketDepth) {
      SortByComparison(first, last, text, depth - depth % 8);
      return;
    }
    std::size_t ends[kBuckets];
    Distribute(first, last, depth, ends);
    // Keys that end here are equal: the latest in the file wins.
    Record<Offset>* const ended = first + ends[0];
    Record<Offset>* latest =
        std::max_element(first, ended, [](const auto& a, const auto& b) { return a.key < b.key; });
    for (Record<Offset>* record = first; record != ended; ++record) {
      if (record != latest) Drop(*record);
    }
    // The largest bucket goes on in this frame, which keeps the frames few.
    std::size_t largest = 1;
    for (unsigned bucket = 2; bucket != kBuckets; ++bucket) {
      if (ends[bucket] - ends[bucket - 1] > ends[largest] - ends[largest - 1]) largest = bucket;
    }
    for (unsigned bucket = 1; bucket != kBuckets; ++bucket) {
      if (bucket != largest)
        SortRange(first + ends[bucket - 1], first + ends[bucket], text, depth + 1);
    }
    last = first + ends[largest];
    first += ends[largest - 1];
    ++depth;
  }
}

// Flags, as a bit per byte, the bytes among the sixteen at p that need an
// escape: below 0x20, quotation mark or backslash.
unsigned EscapeMask(const char* p) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(bytes, _mm_set1_epi8(0x1F)), bytes);
  const __m128i quote = _mm_cmpeq_epi8(bytes, _mm_set1_epi8('"'));
  const __m128i backslash = _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\\'));
  return static_cast<unsigned>(
      _mm_movemask_epi8(_mm_or_si128(control, _mm_or_si128(quote, backslash))));
}

// What escaping the byte adds to the text: 5 for the \u00XX form, else 1.
std::size_t EscapeExtra(char byte) {
  return kJsonEscapeOf[static_cast<unsigned char>(byte)] == 'u' ? 5 : 1;
}

// The bytes that escapes add to the text from p to end.
std::uint64_t EscapesLength(const char* p, const char* const end) {
  std::uint64_t extra = 0;
  for (; end - p >= 16; p += 16) {
    for (unsigned mask = EscapeMask(p); mask != 0; mask &= mask - 1) {
      extra += EscapeExtra(p[std::countr_zero(mask)]);
    }
  }
  for (; p != end; ++p) {
    if (kJsonEscapeOf[static_cast<unsigned char>(*p)] != 0) extra += EscapeExtra(*p);
  }
  return extra;
}

// Writes the text from p to end, escaped, at out; returns the end of what it
// wrote. Out has room for every byte up to end: sixteen bytes are stored
// before they are checked, and what lies past the run is written over next.
char* WriteEscaped(const char* p, const char* const end, char* out) {
  while (end - p >= 16) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    const unsigned mask = EscapeMask(p);
    if (mask == 0) {
      p += 16;
      out += 16;
      continue;
    }
    const int skip = std::countr_zero(mask);
    p += skip;
    out = WriteJsonEscape(*p++, out + skip);
  }
  for (; p != end; ++p) {
    if (kJsonEscapeOf[static_cast<unsigned char>(*p)] != 0) {
      out = WriteJsonEscape(*p, out);
    } else {
      *out++ = *p;
    }
  }
  return out;
}

// Asks the processor to start loading the line at p.
void Prefetch(const void* p) {
  __builtin_prefetch(p);
}

// Writes the entries that are not dropped as the JSON object at out.
template <class Offset>
char* WriteObject(const Record<Offset>* records, std::size_t count, const char* text, char* out) {
  // In key order the entries are read from all over memory: asking for the
  // ones a few entries ahead keeps several loads in flight.
  constexpr std::size_t kAhead = 8;
  *out++ = '{';
  bool first = true;
  for (std::size_t i = 0; i != count; ++i) {
    if (i + kAhead < count) Prefetch(text + records[i + kAhead].key);
    const Record<Offset>& record = records[i];
    if (IsDropped(record)) continue;
    if (!first) *out++ = ',';
    first = false;
    const char* const key = text + record.key;
    const char* const value = key + record.keySize + 1;
    *out++ = '"';
    if (record.escapes == 0) {
      std::memcpy(out, key, record.keySize);
      out += record.keySize;
      std::memcpy(out, "\":\"", 3);
      out += 3;
      std::memcpy(out, value, record.valueSize);
      out += record.valueSize;
    } else {
      out = WriteEscaped(key, key + record.keySize, out);
      std::memcpy(out, "\":\"", 3);
      out = WriteEscaped(value, value + record.valueSize, out + 3);
    }
    *out++ = '"';
  }
  *out++ = '}';
  return out;
}

// The number of LF bytes in the text: an upper bound of its lines, less one.
std::size_t CountLineEnds(std::string_view text) {
  const char* p = text.data();
  const char* const end = p + text.size();
  const __m128i lineFeed = _mm_set1_epi8('\n');
  std::size_t count = 0;
  while (end - p >= 16) {
    // Byte counters that subtract the compare's -1 for every LF, summed
    // before any can pass 255.
    __m128i counters = _mm_setzero_si128();
    for (int round = 0; round != 255 && end - p >= 16; ++round, p += 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      counters = _mm_sub_epi8(counters, _mm_cmpeq_epi8(bytes, lineFeed));
    }
    const __m128i sums = _mm_sad_epu8(counters, _mm_setzero_si128());
    count += static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) +
             static_cast<std::size_t>(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
  }
  return count + static_cast<std::size_t>(std::count(p, end, '\n'));
}

struct ReleaseRecords {
  void operator()(void* records) const { CoreRelease(records); }
};

template <class Offset>
char* JsonOf(std::string_view text, FxtBlockSource allocate) {
  using Entry = Record<Offset>;
  const std::size_t lines = CountLineEnds(text) + 1;
  if (lines > SIZE_MAX / sizeof(Entry)) return nullptr;
  const std::unique_ptr<Entry, ReleaseRecords> storage(
      static_cast<Entry*>(CoreAllocate(lines * sizeof(Entry))));
  if (!storage) return nullptr;
  Entry* const records = storage.get();

  // Generated tables often come in key order: while they do, a later equal
  // key drops the one before it and no sort is needed.
  std::size_t count = 0;
  bool inOrder = true;
  bool fits = true;
  ForEachFxtLine(text, [&](const FxtLine& line) {
    if (line.kind != FxtLineKind::kEntry) return;
    const char* const key = line.key.data();
    const std::uint64_t escapes = EscapesLength(key, line.value.data() + line.value.size());
    // An entry whose text alone is too long for a host block fails the whole.
    fits = fits && escapes + line.key.size() + line.value.size() < UINT32_MAX;
    Entry& record = records[count];
    record = {PrefixAt(key, line.key.size(), 0), static_cast<Offset>(key - text.data()),
              static_cast<Offset>(line.key.size()), static_cast<Offset>(line.value.size()),
              static_cast<Offset>(escapes)};
    if (inOrder && count != 0) {
      const int order = CompareKeys(text.data(), records[count - 1], record, 0);
      if (order == 0) Drop(records[count - 1]);
      inOrder = order <= 0;
    }
    ++count;
  });
  if (count == 0 || !fits) return nullptr;
  if (!inOrder) SortRange(records, records + count, text.data(), 0);

  // The braces, and for each entry its key and value with their escapes,
  // four quotes, a colon and a comma (one fewer comma than entries).
  std::uint64_t length = 1;
  for (std::size_t i = 0; i != count; ++i) {
    const Entry& record = records[i];
    if (!IsDropped(record)) {
      length += std::uint64_t{record.keySize} + record.valueSize + record.escapes + 6;
    }
  }
  if (length > UINT32_MAX || !FitsHostBlock(static_cast<std::size_t>(length))) return nullptr;
  char* const block = static_cast<char*>(allocate(static_cast<std::uint32_t>(length + 1)));
  if (block == nullptr) return nullptr;
  char* const end = WriteObject(records, count, text.data(), block);
  *end = '\0';
  return block;
}

}  // namespace

char* FxtJson(std::string_view file, FxtBlockSource allocate) noexcept {
  if (!IsValidUtf8(file)) return nullptr;
  if constexpr (sizeof(std::size_t) > sizeof(std::uint32_t)) {
    if (file.size() > UINT32_MAX) return JsonOf<std::size_t>(file, allocate);
  }
  return JsonOf<std::uint32_t>(file, allocate);
}

std::size_t JsonStringLength(std::string_view text) {
  return text.size() +
         static_cast<std::size_t>(EscapesLength(text.data(), text.data() + text.size())) + 2;
}

char* WriteJsonString(std::string_view text, char* out) {
  *out++ = '"';
  out = WriteEscaped(text.data(), text.data() + text.size(), out);
  *out++ = '"';
  return out;
}
