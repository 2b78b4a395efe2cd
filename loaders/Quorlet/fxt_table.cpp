#include "fxt_table.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "utf8.h"

namespace {

// An entry being sorted. Its value follows its key in storage, and keys are
// stored in file order, so the key's address tells which entry came later.
struct SortRecord {
  // The key's first sixteen bytes as big-endian numbers, zero-padded: keys
  // often share a first word ("MENU_ITM_1", "MENU_ITM_2"), rarely both.
  std::uint64_t prefix[2];
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
// first sixteen (a zero byte and padding look alike only past the shorter key).
int CompareKeys(const SortRecord& a, const SortRecord& b) {
  const std::size_t common = std::min(a.keySize, b.keySize);
  const std::size_t known = std::min(common, sizeof a.prefix);
  const int order = std::memcmp(a.key + known, b.key + known, common - known);
  if (order != 0) return order;
  return a.keySize < b.keySize ? -1 : a.keySize > b.keySize ? 1 : 0;
}

bool SameKey(const SortRecord& a, const SortRecord& b) {
  return a.prefix[0] == b.prefix[0] && a.prefix[1] == b.prefix[1] && CompareKeys(a, b) == 0;
}

}  // namespace

FxtTable ParseFxt(std::string_view text) {
  FxtTable table;
  // Keys and values are disjoint parts of the text, so it bounds their total.
  table.storage = std::make_unique_for_overwrite<char[]>(text.size());
  char* stored = table.storage.get();

  std::vector<SortRecord> records;
  const char* const textEnd = text.data() + text.size();
  for (const char* lineStart = text.data(); lineStart != textEnd;) {
    const void* lf = std::memchr(lineStart, '\n', static_cast<std::size_t>(textEnd - lineStart));
    const char* lineEnd = lf != nullptr ? static_cast<const char*>(lf) : textEnd;
    std::string_view line(lineStart, static_cast<std::size_t>(lineEnd - lineStart));
    lineStart = lf != nullptr ? lineEnd + 1 : textEnd;

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
    unsigned char head[16] = {};
    std::memcpy(head, stored, std::min(blank, sizeof head));
    records.push_back({{BigEndianWord(head), BigEndianWord(head + 8)}, stored, blank, valueSize});
    stored += blank + valueSize;
  }

  // A total order, so std::sort suffices: equal keys end up in file order.
  std::sort(records.begin(), records.end(), [](const SortRecord& a, const SortRecord& b) {
    if (a.prefix[0] != b.prefix[0]) return a.prefix[0] < b.prefix[0];
    if (a.prefix[1] != b.prefix[1]) return a.prefix[1] < b.prefix[1];
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
