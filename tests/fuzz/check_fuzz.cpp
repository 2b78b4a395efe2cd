// orvo-check on arbitrary bytes: the table's keys decoded from Quorlet's own
// JSON text are the entry lines' keys, each once, in byte order, and their
// number is the count the check reports; each entry line beyond that has a
// repeated-key finding; a table that gives null has its
// reason; the findings come in line order; a text file always loads, with as
// many lines as its line feeds (and a last line) before any 0x1A.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "file_check.h"
#include "fuzz_check.h"
#include "fxt_lines.h"
#include "loader_result.h"

namespace {

bool InLineOrder(const FileReport& report) {
  return std::is_sorted(report.findings.begin(), report.findings.end(),
                        [](const Finding& a, const Finding& b) { return a.line < b.line; });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  const FileReport table = CheckFxt(bytes);
  FUZZ_CHECK(InLineOrder(table));
  if (const auto json = QuorletJson(bytes)) {
    FUZZ_CHECK(!table.nullReason);
    std::vector<std::string> keys;
    ForEachFxtLine(bytes, [&](const FxtLine& line) {
      if (line.kind == FxtLineKind::kEntry) keys.emplace_back(line.key);
    });
    const std::size_t entryLines = keys.size();
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    FUZZ_CHECK(JsonObjectKeys(*json) == keys);
    FUZZ_CHECK(table.count == keys.size());
    FUZZ_CHECK(static_cast<std::size_t>(std::count_if(table.findings.begin(), table.findings.end(),
                                                      [](const Finding& f) {
                                                        return f.code == "repeated-key";
                                                      })) == entryLines - keys.size());
  } else {
    FUZZ_CHECK(table.nullReason && table.count == 0);
  }

  const FileReport text = CheckText(bytes);
  FUZZ_CHECK(!text.nullReason && InLineOrder(text));
  const std::string_view read = bytes.substr(0, bytes.find('\x1a'));
  const auto lineFeeds = static_cast<std::size_t>(std::count(read.begin(), read.end(), '\n'));
  FUZZ_CHECK(text.count == lineFeeds + (!read.empty() && read.back() != '\n' ? 1 : 0));
  return 0;
}
