// FXT text tables: key, blank, value lines parsed into a sorted table.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

struct FxtEntry {
  std::string_view key;    // never empty; views into FxtTable::storage
  std::string_view value;  // never empty
};

// Entries unique by key, in ascending order of the keys' unsigned bytes.
// The table owns one copy of every key and value, in `storage`: a copy of
// the whole text.
struct FxtTable {
  std::unique_ptr<char[]> storage;
  std::vector<FxtEntry> entries;
};

// Parses the whole text of an FXT file (already valid UTF-8). Lines end at LF
// (a CR directly before it belongs to the line end) and are trimmed of Unicode
// white space; blank lines, comments ("#" or ";") and lines without a blank are
// skipped; a later duplicate key wins. Throws std::bad_alloc when memory runs out.
FxtTable ParseFxt(std::string_view text);
