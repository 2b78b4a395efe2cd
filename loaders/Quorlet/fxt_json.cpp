#include "fxt_json.h"

#include <emmintrin.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <utility>

#include "core_memory.h"
#include "fxt_lines.h"
#include "host_block.h"
#include "json_escape.h"

namespace {

// An entry, by offsets into the file's bytes: its value starts one byte (the
// blank) after its key and ends where its line does (EntryEnd), and keys lie
// in file order, so the key's offset also tells which of two entries came
// later. Offset is 32-bit unless the text is larger, which keeps the
// records, all in fresh memory, at 16 bytes.
template <class Offset>
struct Record {
  // Eight key bytes from where the sort has got to (the start, at first), as
  // a big-endian number, zero past the key's end: most comparisons and
  // bucket choices need not read the keys, which lie all over memory.
  std::uint64_t prefix;
  Offset key;
  Offset keySize;  // 0 once a later line has the same key: keys are never empty
};

static_assert(sizeof(Record<std::uint32_t>) == 16);

template <class Offset>
bool IsDropped(const Record<Offset>& record) {
  return record.keySize == 0;
}

template <class Offset>
void Drop(Record<Offset>& record) {
  record.keySize = 0;
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

// Asks the processor to start loading the bytes at p.
void Prefetch(const void* p) {
  __builtin_prefetch(p);
}

// How many records ahead the loops that read keys ask for them.
constexpr std::size_t kAhead = 16;

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

// A range's non-empty buckets, in order: the k-th holds the records from
// bounds[k] to bounds[k + 1]. The first `ended` records, when there are any,
// are the first bucket: keys that end at the depth.
struct Buckets {
  unsigned count;
  std::size_t ended;
  std::size_t bounds[kBuckets + 1];
};

// Moves the records into their buckets at depth, in place. Not inlined: its
// tables would then sit in every frame of SortRange's recursion.
template <class Offset>
[[gnu::noinline]] void Distribute(Record<Offset>* first, Record<Offset>* last, std::size_t depth,
                                  Buckets& buckets) {
  std::size_t counts[kBuckets] = {};
  unsigned lowest = kBuckets - 1;
  unsigned highest = 0;
  for (const Record<Offset>* record = first; record != last; ++record) {
    const unsigned bucket = BucketOf(*record, depth);
    ++counts[bucket];
    lowest = std::min(lowest, bucket);
    highest = std::max(highest, bucket);
  }
  // Most ranges fill few buckets (ten digits, say): the loops below visit
  // only those.
  unsigned short used[kBuckets];
  std::size_t heads[kBuckets];
  std::size_t ends[kBuckets];
  unsigned count = 0;
  std::size_t sum = 0;
  for (unsigned bucket = lowest; bucket <= highest; ++bucket) {
    if (counts[bucket] == 0) continue;
    used[count++] = static_cast<unsigned short>(bucket);
    heads[bucket] = sum;
    sum += counts[bucket];
    ends[bucket] = sum;
  }
  for (unsigned k = 0; k != count; ++k) {
    const unsigned bucket = used[k];
    while (heads[bucket] != ends[bucket]) {
      Record<Offset> moving = first[heads[bucket]];
      for (unsigned target = BucketOf(moving, depth); target != bucket;
           target = BucketOf(moving, depth)) {
        std::swap(moving, first[heads[target]++]);
      }
      first[heads[bucket]++] = moving;
    }
  }
  buckets.count = count;
  buckets.ended = counts[0];
  buckets.bounds[0] = 0;
  for (unsigned k = 0; k != count; ++k) buckets.bounds[k + 1] = ends[used[k]];
}

// Room for records beside the ones being sorted: a range that fits is
// sorted by its prefixes from the least significant byte, each byte one
// stable pass from one area into the other, instead of in place from the
// most significant.
template <class Offset>
struct Scratch {
  Record<Offset>* records;
  std::size_t capacity;
};

// Orders the records by their prefixes' bytes from depth % 8 on (those
// before are the same in all of them), equal prefixes in the order they
// came. A byte that is the same in every record takes no pass. Not inlined:
// its tables would then sit in every frame of SortRange's recursion.
template <class Offset>
[[gnu::noinline]] void SortByPrefix(Record<Offset>* first, Record<Offset>* last,
                                    Record<Offset>* scratch, std::size_t depth) {
  constexpr unsigned kBytes = 8;
  const std::size_t count = static_cast<std::size_t>(last - first);
  const unsigned from = static_cast<unsigned>(depth % kBytes);
  const auto byteAt = [](std::uint64_t prefix, unsigned byte) {
    return static_cast<unsigned>(prefix >> (56 - 8 * byte) & 0xFF);
  };
  std::size_t counts[kBytes][256] = {};
  for (const Record<Offset>* record = first; record != last; ++record) {
    for (unsigned byte = from; byte != kBytes; ++byte) ++counts[byte][byteAt(record->prefix, byte)];
  }
  Record<Offset>* source = first;
  Record<Offset>* target = scratch;
  for (unsigned byte = kBytes; byte-- != from;) {
    std::size_t* const heads = counts[byte];
    if (heads[byteAt(first->prefix, byte)] == count) continue;
    std::size_t sum = 0;
    for (unsigned value = 0; value != 256; ++value) sum += std::exchange(heads[value], sum);
    for (const Record<Offset>* record = source; record != source + count; ++record) {
      target[heads[byteAt(record->prefix, byte)]++] = *record;
    }
    std::swap(source, target);
  }
  if (source != first) std::copy(source, source + count, first);
}

template <class Offset>
void SortEqualPrefixes(Record<Offset>* first, Record<Offset>* last, const char* text,
                       std::size_t depth, const Scratch<Offset>& scratch);

// Sorts records whose keys agree in their first depth bytes, most
// significant byte first, and drops all but the last of equal keys.
template <class Offset>
void SortRange(Record<Offset>* first, Record<Offset>* last, const char* text, std::size_t depth,
               const Scratch<Offset>& scratch) {
  for (;;) {
    const std::size_t count = static_cast<std::size_t>(last - first);
    if (count < 2) return;
    const std::size_t base = depth - depth % 8;
    if (depth == base && depth != 0) {
      // The keys lie all over memory: ask for a few ahead.
      for (Record<Offset>* record = first; record != last; ++record) {
        if (static_cast<std::size_t>(last - record) > kAhead)
          Prefetch(text + record[kAhead].key + depth);
        record->prefix = PrefixAt(text + record->key, record->keySize, depth);
      }
    }
    if (count <= kSmallRange || depth >= kMaxBucketDepth) {
      SortByComparison(first, last, text, base);
      return;
    }
    // Bytes that all the keys have and share ("MENU_ITEM_") are passed over
    // at once instead of a bucket pass each.
    std::uint64_t differ = 0;
    std::size_t shortest = SIZE_MAX;
    for (const Record<Offset>* record = first; record != last; ++record) {
      differ |= record->prefix ^ first->prefix;
      shortest = std::min<std::size_t>(shortest, record->keySize);
    }
    const std::size_t shared =
        std::min(base + (differ == 0 ? 8 : std::countl_zero(differ) / 8), shortest);
    if (shared > depth) {
      depth = shared;
      continue;
    }
    if (count <= scratch.capacity) {
      SortByPrefix(first, last, scratch.records, depth);
      SortEqualPrefixes(first, last, text, base + 8, scratch);
      return;
    }
    Buckets buckets;
    Distribute(first, last, depth, buckets);
    const std::size_t* const bounds = buckets.bounds;
    unsigned next = 0;
    if (buckets.ended != 0) {
      // Keys that end here are equal: the latest in the file wins.
      Record<Offset>* const ended = first + buckets.ended;
      Record<Offset>* const latest = std::max_element(
          first, ended, [](const auto& a, const auto& b) { return a.key < b.key; });
      for (Record<Offset>* record = first; record != ended; ++record) {
        if (record != latest) Drop(*record);
      }
      next = 1;
    }
    if (next == buckets.count) return;
    // The largest bucket goes on in this frame, which keeps the frames few.
    unsigned largest = next;
    for (unsigned k = next + 1; k != buckets.count; ++k) {
      if (bounds[k + 1] - bounds[k] > bounds[largest + 1] - bounds[largest]) largest = k;
    }
    for (unsigned k = next; k != buckets.count; ++k) {
      if (k != largest) {
        SortRange(first + bounds[k], first + bounds[k + 1], text, depth + 1, scratch);
      }
    }
    last = first + bounds[largest + 1];
    first += bounds[largest];
    ++depth;
  }
}

// Finishes records in prefix order whose prefixes held their keys' bytes up
// to depth: each run of equal prefixes is in key order once the keys that
// end by depth, which come first, are ordered by length, and the others by
// their bytes from depth on. Drops all but the last of equal keys.
template <class Offset>
void SortEqualPrefixes(Record<Offset>* first, Record<Offset>* last, const char* text,
                       std::size_t depth, const Scratch<Offset>& scratch) {
  for (Record<Offset>* run = first; run != last;) {
    Record<Offset>* runEnd = run + 1;
    while (runEnd != last && runEnd->prefix == run->prefix) ++runEnd;
    if (runEnd - run > 1) {
      // Zero padding hides where these keys end: equal prefixes and lengths
      // mean equal keys.
      Record<Offset>* const ended = std::partition(
          run, runEnd, [depth](const Record<Offset>& record) { return record.keySize <= depth; });
      std::sort(run, ended, [](const Record<Offset>& a, const Record<Offset>& b) {
        return a.keySize != b.keySize ? a.keySize < b.keySize : a.key < b.key;
      });
      for (Record<Offset>* record = run; record + 1 < ended; ++record) {
        if (record[0].keySize == record[1].keySize) Drop(record[0]);
      }
      SortRange(ended, runEnd, text, depth, scratch);
    }
    run = runEnd;
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

// The flags of EscapeMask for the bytes from p to end, at most sixteen.
unsigned EscapeMaskUpTo(const char* p, const char* end) {
  const unsigned mask = EscapeMask(p);
  return end - p >= 16 ? mask : mask & ((1u << (end - p)) - 1);
}

// The bytes that escapes add to the text from p to end. The bytes up to
// readable may be read: sixteen at a time, the last step too.
std::uint64_t EscapesLength(const char* p, const char* const end, const char* const readable) {
  std::uint64_t extra = 0;
  while (p < end) {
    if (readable - p < 16) {
      if (kJsonEscapeOf[static_cast<unsigned char>(*p)] != 0) extra += EscapeExtra(*p);
      ++p;
      continue;
    }
    for (unsigned mask = EscapeMaskUpTo(p, end); mask != 0; mask &= mask - 1) {
      extra += EscapeExtra(p[std::countr_zero(mask)]);
    }
    p += std::min<std::ptrdiff_t>(end - p, 16);
  }
  return extra;
}

// Writes the text from p to end, escaped, at out; returns the end of what it
// wrote. Sixteen bytes are copied at a time while the bytes up to readable
// may be read and the room up to writable written, the last step too: what
// lies past the run is written over next.
char* WriteEscaped(const char* p, const char* const end, char* out, const char* const readable,
                   const char* const writable) {
  while (p < end) {
    if (readable - p < 16 || writable - out < 16) {
      if (kJsonEscapeOf[static_cast<unsigned char>(*p)] != 0) {
        out = WriteJsonEscape(*p, out);
      } else {
        *out++ = *p;
      }
      ++p;
      continue;
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    const unsigned mask = EscapeMaskUpTo(p, end);
    if (mask == 0) {
      const std::ptrdiff_t step = std::min<std::ptrdiff_t>(end - p, 16);
      p += step;
      out += step;
      continue;
    }
    const int skip = std::countr_zero(mask);
    p += skip;
    out = WriteJsonEscape(*p++, out + skip);
  }
  return out;
}

// Writes the entries that are not dropped as the JSON object at out, in
// the block up to writable; the text's bytes end at textEnd.
template <class Offset>
char* WriteObject(const Record<Offset>* records, std::size_t count, const char* text,
                  const char* textEnd, char* out, const char* writable) {
  // In key order the entries are read from all over memory: asking for the
  // ones a few entries ahead keeps several loads in flight.
  *out++ = '{';
  bool first = true;
  for (std::size_t i = 0; i != count; ++i) {
    if (i + kAhead < count) {
      // A line often spans two cache lines: ask for the next one too.
      const Offset ahead = records[i + kAhead].key;
      Prefetch(text + ahead);
      Prefetch(text + std::min<std::size_t>(ahead + std::size_t{64}, textEnd - text));
    }
    const Record<Offset>& record = records[i];
    if (IsDropped(record)) continue;
    if (!first) *out++ = ',';
    first = false;
    const char* const key = text + record.key;
    const char* const value = key + record.keySize + 1;
    *out++ = '"';
    // Not memcpy: some C runtimes' is slow for the short runs of keys.
    out = WriteEscaped(key, key + record.keySize, out, textEnd, writable);
    std::memcpy(out, "\":\"", 3);
    out = WriteEscaped(value, fxt_lines::EntryEnd(value, textEnd), out + 3, textEnd, writable);
    *out++ = '"';
  }
  *out++ = '}';
  return out;
}

// What the entry whose key starts at key would add to the object: key,
// blank and value with their escapes, and five of the six other bytes
// (the comma is one fewer than the entries).
std::uint64_t DroppedLength(const char* key, const char* textEnd) {
  const char* const end = fxt_lines::EntryEnd(key, textEnd);
  return static_cast<std::uint64_t>(end - key) + EscapesLength(key, end, textEnd) + 5;
}

// What a pass over the whole text finds: its LF bytes (its lines, less
// one, at most), its blanks (each entry line holds one at least), and the
// bytes that escapes would add to it as one string.
struct TextTally {
  std::size_t lineEnds;
  std::size_t blanks;
  std::uint64_t escapes;
};

TextTally Tally(std::string_view text) {
  const char* p = text.data();
  const char* const end = p + text.size();
  TextTally tally{0, 0, 0};
  const auto sum = [](__m128i counters) {
    const __m128i sums = _mm_sad_epu8(counters, _mm_setzero_si128());
    return static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) +
           static_cast<std::size_t>(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
  };
  while (end - p >= 16) {
    // Byte counters that subtract the compares' -1 for every byte counted,
    // summed before any can pass 255: LF bytes, bytes that need an escape,
    // and those among them whose escape is the six-byte \u00XX form.
    __m128i lineFeeds = _mm_setzero_si128();
    __m128i blanks = _mm_setzero_si128();
    __m128i escaped = _mm_setzero_si128();
    __m128i sixByte = _mm_setzero_si128();
    for (int round = 0; round != 255 && end - p >= 16; ++round, p += 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(bytes, _mm_set1_epi8(0x1F)), bytes);
      // \b \t \n \f \r: 8 to 13 but 11.
      const __m128i fromBackspace = _mm_sub_epi8(bytes, _mm_set1_epi8(8));
      const __m128i shortControl = _mm_andnot_si128(
          _mm_cmpeq_epi8(bytes, _mm_set1_epi8(11)),
          _mm_cmpeq_epi8(_mm_min_epu8(fromBackspace, _mm_set1_epi8(5)), fromBackspace));
      lineFeeds = _mm_sub_epi8(lineFeeds, _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n')));
      blanks = _mm_sub_epi8(blanks, _mm_cmpeq_epi8(bytes, _mm_set1_epi8(' ')));
      escaped = _mm_sub_epi8(
          escaped, _mm_or_si128(control, _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('"')),
                                                      _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\\')))));
      sixByte = _mm_sub_epi8(sixByte, _mm_andnot_si128(shortControl, control));
    }
    tally.lineEnds += sum(lineFeeds);
    tally.blanks += sum(blanks);
    tally.escapes += sum(escaped) + 4 * std::uint64_t{sum(sixByte)};
  }
  tally.lineEnds += static_cast<std::size_t>(std::count(p, end, '\n'));
  tally.blanks += static_cast<std::size_t>(std::count(p, end, ' '));
  tally.escapes += EscapesLength(p, end, end);
  return tally;
}

struct ReleaseRecords {
  void operator()(void* records) const { CoreRelease(records); }
};

template <class Offset>
char* JsonOf(std::string_view text, FxtBlockSource allocate) {
  using Entry = Record<Offset>;
  const TextTally tally = Tally(text);
  // A record for each entry line, of which there are no more than lines, nor
  // blanks, nor one for every four bytes ("k v" and its LF) and the last
  // line: blank and comment lines cost no record.
  const std::size_t recordCapacity =
      std::min({tally.lineEnds + 1, tally.blanks, text.size() / 4 + 1});
  if (recordCapacity == 0) return nullptr;  // no blank, so no entry
  if (recordCapacity > SIZE_MAX / sizeof(Entry)) return nullptr;
  const std::unique_ptr<Entry, ReleaseRecords> storage(
      static_cast<Entry*>(CoreAllocate(recordCapacity * sizeof(Entry))));
  if (!storage) return nullptr;
  Entry* const records = storage.get();

  // The escapes of the entries' keys and values: those of the whole text
  // less those of what lies outside them, line ends (LF, and a CR before
  // it), trimmed bytes and lines that are no entries. Most entry lines have
  // nothing outside but their end.
  const char* const textEnd = text.data() + text.size();
  std::uint64_t escapes = tally.escapes - tally.lineEnds;
  // The braces, and for each entry its key and value with their escapes,
  // four quotes, a colon and a comma (one fewer comma than entries).
  std::uint64_t length = 1;
  // Generated tables often come in key order: while they do, a later equal
  // key takes the place of the one before it and no sort is needed.
  std::size_t count = 0;
  bool inOrder = true;
  ForEachFxtLine(text, [&](const FxtLine& line) {
    const char* const lineEnd = line.text.data() + line.text.size();
    if (lineEnd != textEnd && *lineEnd == '\r') --escapes;
    if (line.kind != FxtLineKind::kEntry) {
      escapes -= EscapesLength(line.text.data(), lineEnd, textEnd);
      return;
    }
    const char* const key = line.key.data();
    const char* const valueEnd = line.value.data() + line.value.size();
    if (key != line.text.data()) escapes -= EscapesLength(line.text.data(), key, textEnd);
    if (valueEnd != lineEnd) escapes -= EscapesLength(valueEnd, lineEnd, textEnd);
    length += std::uint64_t{line.key.size()} + line.value.size() + 6;
    const Entry record{PrefixAt(key, line.key.size(), 0), static_cast<Offset>(key - text.data()),
                       static_cast<Offset>(line.key.size())};
    if (inOrder && count != 0) {
      const int order = CompareKeys(text.data(), records[count - 1], record, 0);
      inOrder = order <= 0;
      if (order == 0) {
        length -= DroppedLength(text.data() + records[count - 1].key, textEnd);
        --count;
      }
    }
    records[count++] = record;
  });
  if (count == 0) return nullptr;
  if (!inOrder) {
    // What the heap may hold besides the file: as much per entry as this.
    constexpr std::size_t kBytesPerEntry = 32;
    const std::uint64_t budget = std::uint64_t{kBytesPerEntry} * count;
    const std::uint64_t held = std::uint64_t{recordCapacity} * sizeof(Entry);
    Scratch<Offset> scratch{
        nullptr, budget > held ? static_cast<std::size_t>((budget - held) / sizeof(Entry)) : 0};
    std::unique_ptr<Entry, ReleaseRecords> scratchStorage;
    if (scratch.capacity > kSmallRange) {
      scratchStorage.reset(static_cast<Entry*>(CoreAllocate(scratch.capacity * sizeof(Entry))));
      if (!scratchStorage) return nullptr;
      scratch.records = scratchStorage.get();
    } else {
      scratch.capacity = 0;
    }
    SortRange(records, records + count, text.data(), 0, scratch);
    for (std::size_t i = 0; i != count; ++i) {
      if (IsDropped(records[i])) length -= DroppedLength(text.data() + records[i].key, textEnd);
    }
  }
  length += escapes;
  if (length > UINT32_MAX || !FitsHostBlock(static_cast<std::size_t>(length))) return nullptr;
  char* const block = static_cast<char*>(allocate(static_cast<std::uint32_t>(length + 1)));
  if (block == nullptr) return nullptr;
  char* const end = WriteObject(records, count, text.data(), textEnd, block, block + length);
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
  const char* const end = text.data() + text.size();
  return text.size() + static_cast<std::size_t>(EscapesLength(text.data(), end, end)) + 2;
}

char* WriteJsonString(std::string_view text, char* out) {
  const char* const end = text.data() + text.size();
  // The room holds the text and the closing quote at least.
  const char* const writable = out + text.size() + 2;
  *out++ = '"';
  out = WriteEscaped(text.data(), end, out, end, writable);
  *out++ = '"';
  return out;
}
