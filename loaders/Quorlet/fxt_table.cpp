#include "fxt_table.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <iterator>

#include "fxt_lines.h"

namespace {

// An entry being sorted, by offsets into storage, which holds a copy of the
// whole text: its value starts one byte (the blank) after its key, and keys
// lie in file order, so the key's offset tells which entry came later.
// Offset is 32-bit unless the text is larger, which keeps the records, all
// in fresh memory, small.
template <class Offset>
struct SortRecord {
  // The key's first 20 bytes as big-endian numbers, zero-padded: most keys
  // differ within them ("MENU_ITEM_TITLE_12", "MENU_ITEM_TITLE_13"), so most
  // comparisons need not read the keys, which lie all over memory. The last
  // four fill what would otherwise be padding.
  std::uint64_t prefix[2];
  std::uint32_t prefixTail;
  Offset key;
  Offset keySize;
  Offset valueSize;
};

static_assert(sizeof(SortRecord<std::uint32_t>) == 32);

// The number of key bytes the prefix words hold.
constexpr std::size_t kPrefixSize = 20;

template <class Number>
Number BigEndian(const unsigned char* bytes) {
  Number number = 0;
  for (std::size_t i = 0; i < sizeof number; ++i) number = number << 8 | bytes[i];
  return number;
}

// Orders two keys with equal prefixes by their unsigned bytes, a prefix
// first. The prefixes already match in the bytes both keys have among the
// first 20 (a zero byte and padding look alike only past the shorter key).
template <class Offset>
int CompareKeys(const char* storage, const SortRecord<Offset>& a, const SortRecord<Offset>& b) {
  const std::size_t common = std::min(a.keySize, b.keySize);
  const std::size_t known = std::min(common, kPrefixSize);
  if (common != known) {
    const int order = std::memcmp(storage + a.key + known, storage + b.key + known, common - known);
    if (order != 0) return order;
  }
  return a.keySize < b.keySize ? -1 : a.keySize > b.keySize ? 1 : 0;
}

template <class Offset>
bool SameKey(const char* storage, const SortRecord<Offset>& a, const SortRecord<Offset>& b) {
  return a.prefix[0] == b.prefix[0] && a.prefix[1] == b.prefix[1] && a.prefixTail == b.prefixTail &&
         CompareKeys(storage, a, b) == 0;
}

// Lines are scanned a machine word at a time: some C runtimes' memchr
// looks at one byte at a time.
using Word = std::size_t;
constexpr Word kOnes = ~Word{0} / 0xFF;
constexpr Word kLows = kOnes * 0x7F;

// Flags, in the high bit of each byte, exactly the bytes of word equal to byte.
Word ByteFlags(Word word, char byte) {
  const Word x = word ^ (kOnes * static_cast<unsigned char>(byte));
  return ~(((x & kLows) + kLows) | x | kLows);
}

Word LoadWord(const char* p) {
  Word word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

std::size_t CountLineEnds(std::string_view text) {
  std::size_t count = 0;
  const char* p = text.data();
  const char* const end = p + text.size();
  for (; static_cast<std::size_t>(end - p) >= sizeof(Word); p += sizeof(Word)) {
    // The flags are high bits of bytes: a multiplication sums them into the
    // top byte, cheaper than a population count without its instruction.
    count += (ByteFlags(LoadWord(p), '\n') >> 7) * kOnes >> (sizeof(Word) - 1) * 8;
  }
  return count + static_cast<std::size_t>(std::count(p, end, '\n'));
}

// The entries of the text, whose copy storage holds, sorted by key with
// duplicates dropped.
template <class Offset>
std::vector<FxtEntry> SortedEntries(std::string_view text, const char* storage) {
  using Record = SortRecord<Offset>;
  // Room for every record up front spares the regrowth, which would copy
  // them all into fresh memory again. A record needs a line of its own, of
  // four bytes at least (key, blank, value, LF) unless it is the last.
  std::vector<Record> records;
  records.reserve(std::min(CountLineEnds(text), text.size() / 4) + 1);
  ForEachFxtLine(text, [&](const FxtLine& line) {
    if (line.kind != FxtLineKind::kEntry) return;
    unsigned char head[kPrefixSize] = {};
    std::memcpy(head, line.key.data(), std::min(line.key.size(), kPrefixSize));
    records.push_back({{BigEndian<std::uint64_t>(head), BigEndian<std::uint64_t>(head + 8)},
                       BigEndian<std::uint32_t>(head + 16),
                       static_cast<Offset>(line.key.data() - text.data()),
                       static_cast<Offset>(line.key.size()),
                       static_cast<Offset>(line.value.size())});
  });

  // A total order, so std::sort suffices: equal keys end up in file order.
  std::sort(records.begin(), records.end(), [storage](const Record& a, const Record& b) {
    if (a.prefix[0] != b.prefix[0]) return a.prefix[0] < b.prefix[0];
    if (a.prefix[1] != b.prefix[1]) return a.prefix[1] < b.prefix[1];
    if (a.prefixTail != b.prefixTail) return a.prefixTail < b.prefixTail;
    const int order = CompareKeys(storage, a, b);
    return order != 0 ? order < 0 : a.key < b.key;
  });

  // Of each run of equal keys the last entry, the latest in the file, wins.
  std::vector<FxtEntry> entries;
  entries.reserve(records.size());
  for (std::size_t i = 0; i != records.size(); ++i) {
    const Record& record = records[i];
    if (i + 1 != records.size() && SameKey(storage, record, records[i + 1])) continue;
    const char* const key = storage + record.key;
    entries.push_back({std::string_view(key, record.keySize),
                       std::string_view(key + record.keySize + 1, record.valueSize)});
  }
  return entries;
}

}  // namespace

FxtTable ParseFxt(std::string_view text) {
  FxtTable table;
  // One copy of the whole text holds every key and value: a single block
  // copy costs less than one per key and value.
  table.storage = std::make_unique_for_overwrite<char[]>(text.size());
  if (!text.empty()) std::memcpy(table.storage.get(), text.data(), text.size());
  if constexpr (sizeof(std::size_t) > sizeof(std::uint32_t)) {
    if (text.size() > UINT32_MAX) {
      table.entries = SortedEntries<std::size_t>(text, table.storage.get());
      return table;
    }
  }
  table.entries = SortedEntries<std::uint32_t>(text, table.storage.get());
  return table;
}
