#include "fxt_table.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <iterator>

#include "utf8.h"

namespace {

// An entry being sorted. Its value follows its key in storage, and keys are
// stored in file order, so the key's address tells which entry came later.
struct SortRecord {
  // The key's first 24 bytes as big-endian numbers, zero-padded: most keys
  // differ within them ("MENU_ITEM_TITLE_12", "MENU_ITEM_TITLE_13"), so most
  // comparisons need not read the keys, which lie all over memory.
  std::uint64_t prefix[3];
  const char* key;
  std::size_t keySize;
  std::size_t valueSize;
};

std::uint64_t BigEndianWord(const unsigned char* bytes) {
  std::uint64_t word = 0;
  for (int i = 0; i < 8; ++i) word = word << 8 | bytes[i];
  return word;
}

// Orders two keys with equal prefixes by their unsigned bytes, a prefix
// first. The prefixes already match in the bytes both keys have among the
// first 24 (a zero byte and padding look alike only past the shorter key).
int CompareKeys(const SortRecord& a, const SortRecord& b) {
  const std::size_t common = std::min(a.keySize, b.keySize);
  const std::size_t known = std::min(common, sizeof a.prefix);
  const int order = std::memcmp(a.key + known, b.key + known, common - known);
  if (order != 0) return order;
  return a.keySize < b.keySize ? -1 : a.keySize > b.keySize ? 1 : 0;
}

bool SamePrefix(const SortRecord& a, const SortRecord& b) {
  return a.prefix[0] == b.prefix[0] && a.prefix[1] == b.prefix[1] && a.prefix[2] == b.prefix[2];
}

bool SameKey(const SortRecord& a, const SortRecord& b) {
  return SamePrefix(a, b) && CompareKeys(a, b) == 0;
}

// Lines are scanned a machine word at a time: some C runtimes' memchr
// looks at one byte at a time.
using Word = std::size_t;
constexpr Word kOnes = ~Word{0} / 0xFF;
constexpr Word kLows = kOnes * 0x7F;

// Flags, in the high bit of each byte, exactly the LF bytes of word.
Word LineEndFlags(Word word) {
  const Word x = word ^ (kOnes * '\n');
  return ~(((x & kLows) + kLows) | x | kLows);
}

Word LoadWord(const char* p) {
  Word word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

// The first LF from p on, or end.
const char* FindLineEnd(const char* p, const char* end) {
  for (; static_cast<std::size_t>(end - p) >= sizeof(Word); p += sizeof(Word)) {
    if (const Word flags = LineEndFlags(LoadWord(p)); flags != 0) {
      return p + std::countr_zero(flags) / 8;
    }
  }
  while (p != end && *p != '\n') ++p;
  return p;
}

std::size_t CountLineEnds(std::string_view text) {
  std::size_t count = 0;
  const char* p = text.data();
  const char* const end = p + text.size();
  for (; static_cast<std::size_t>(end - p) >= sizeof(Word); p += sizeof(Word)) {
    count += static_cast<std::size_t>(std::popcount(LineEndFlags(LoadWord(p))));
  }
  return count + static_cast<std::size_t>(std::count(p, end, '\n'));
}

}  // namespace

FxtTable ParseFxt(std::string_view text) {
  FxtTable table;
  // Keys and values are disjoint parts of the text, so it bounds their total.
  table.storage = std::make_unique_for_overwrite<char[]>(text.size());
  char* stored = table.storage.get();

  const char* const textEnd = text.data() + text.size();
  // Room for every record up front spares the regrowth, which would copy
  // them all into fresh memory again. A record needs a line of its own, of
  // four bytes at least (key, blank, value, LF) unless it is the last.
  std::vector<SortRecord> records;
  records.reserve(std::min(CountLineEnds(text), text.size() / 4) + 1);
  for (const char* lineStart = text.data(); lineStart != textEnd;) {
    const char* const lineEnd = FindLineEnd(lineStart, textEnd);
    std::string_view line(lineStart, static_cast<std::size_t>(lineEnd - lineStart));
    lineStart = lineEnd != textEnd ? lineEnd + 1 : textEnd;

    // CR is white space, so this also drops the CR of a CR LF line end.
    while (const std::size_t length = LeadingWhiteSpaceLength(line)) line.remove_prefix(length);
    while (const std::size_t length = TrailingWhiteSpaceLength(line)) line.remove_suffix(length);
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    const std::size_t blank = line.find(' ');
    if (blank == std::string_view::npos) continue;

    // Trimming leaves neither end blank, so key and value are never empty.
    const std::size_t valueSize = line.size() - blank - 1;
    std::memcpy(stored, line.data(), blank);
    std::memcpy(stored + blank, line.data() + blank + 1, valueSize);
    unsigned char head[sizeof(SortRecord::prefix)] = {};
    std::memcpy(head, stored, std::min(blank, sizeof head));
    records.push_back({{BigEndianWord(head), BigEndianWord(head + 8), BigEndianWord(head + 16)},
                       stored,
                       blank,
                       valueSize});
    stored += blank + valueSize;
  }

  // A total order, so std::sort suffices: equal keys end up in file order.
  std::sort(records.begin(), records.end(), [](const SortRecord& a, const SortRecord& b) {
    for (std::size_t word = 0; word != std::size(a.prefix); ++word) {
      if (a.prefix[word] != b.prefix[word]) return a.prefix[word] < b.prefix[word];
    }
    const int order = CompareKeys(a, b);
    return order != 0 ? order < 0 : a.key < b.key;
  });

  // Of each run of equal keys the last entry, the latest in the file, wins.
  table.entries.reserve(records.size());
  for (std::size_t i = 0; i != records.size(); ++i) {
    const SortRecord& record = records[i];
    if (i + 1 != records.size() && SameKey(record, records[i + 1])) continue;
    table.entries.push_back({std::string_view(record.key, record.keySize),
                             std::string_view(record.key + record.keySize, record.valueSize)});
  }
  return table;
}
