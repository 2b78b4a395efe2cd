#include "file_check.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "fxt_lines.h"
#include "loader_result.h"
#include "report_text.h"
#include "text_lines.h"
#include "utf8.h"

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr char kGivesNull[] = ": the loader gives null";

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  if (text.size() < suffix.size()) return false;
  return std::equal(suffix.begin(), suffix.end(), text.end() - suffix.size(), [](char a, char b) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    return lower(a) == lower(b);
  });
}

std::string ByteText(unsigned char byte) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", byte);
  return text;
}

// Line and column of the byte at offset, counting lines by line feeds.
Finding At(std::string_view bytes, std::size_t offset) {
  const std::string_view before = bytes.substr(0, offset);
  const std::size_t lineFeed = before.rfind('\n');
  Finding finding;
  finding.line = static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n')) + 1;
  finding.column = lineFeed == std::string_view::npos ? offset + 1 : offset - lineFeed;
  return finding;
}

Finding Make(Finding where, Level level, std::string_view code, std::string message) {
  where.level = level;
  where.code = code;
  where.message = std::move(message);
  return where;
}

Finding OnLine(std::size_t line, Level level, std::string_view code, std::string message) {
  Finding where;
  where.line = line;
  return Make(where, level, code, std::move(message));
}

// A file without a single line feed is one line to both loaders, however
// many carriage returns an editor shows as line ends.
void NoteCarriageReturnsOnly(std::string_view text, FileReport& report) {
  if (text.find('\n') != std::string_view::npos) return;
  const auto returns = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\r'));
  if (returns == 0) return;
  report.findings.push_back(Make({}, Level::kNote, "cr-only",
                                 "no line feed, " +
                                     CountText(returns, "carriage return", "carriage returns") +
                                     ": the whole file is one line"));
}

// Findings in the order an editor lists them: the file's own first.
void SortFindings(FileReport& report) {
  std::stable_sort(report.findings.begin(), report.findings.end(),
                   [](const Finding& a, const Finding& b) {
                     return a.line != b.line ? a.line < b.line : a.column < b.column;
                   });
}

// Each line whose key an earlier entry line has: the later one wins. A
// first pass marks the hash of each key in a bit table eight times the
// entries' number; only the lines whose mark was hit twice, all repeats and
// a few others, are then sorted by hash and line, which puts the lines of one
// key together in file order.
void FindRepeatedKeys(std::string_view text, std::size_t entryLines, FileReport& report) {
  const std::size_t bits = std::bit_ceil(std::max<std::size_t>(entryLines * 8, 64));
  std::vector<bool> seen(bits), seenAgain(bits);
  const std::hash<std::string_view> hash;
  ForEachFxtLine(text, [&](const FxtLine& line) {
    if (line.kind != FxtLineKind::kEntry) return;
    const std::size_t bit = hash(line.key) & (bits - 1);
    if (seen[bit]) seenAgain[bit] = true;
    seen[bit] = true;
  });

  struct KeyLine {
    std::size_t hash;
    std::size_t line;
    std::string_view key;
  };
  std::vector<KeyLine> keyLines;
  ForEachFxtLine(text, [&](const FxtLine& line) {
    if (line.kind != FxtLineKind::kEntry) return;
    const std::size_t keyHash = hash(line.key);
    if (seenAgain[keyHash & (bits - 1)]) keyLines.push_back({keyHash, line.number, line.key});
  });
  std::sort(keyLines.begin(), keyLines.end(), [](const KeyLine& a, const KeyLine& b) {
    return a.hash != b.hash ? a.hash < b.hash : a.line < b.line;
  });
  for (std::size_t i = 1; i < keyLines.size(); ++i) {
    // The nearest earlier line of the same hash with the same key: two keys
    // that share a hash but differ are all but unheard of.
    for (std::size_t j = i; j-- > 0 && keyLines[j].hash == keyLines[i].hash;) {
      if (keyLines[j].key != keyLines[i].key) continue;
      report.findings.push_back(OnLine(keyLines[i].line, Level::kWarning, "repeated-key",
                                       "key " + PrintableText(keyLines[i].key) + " repeats line " +
                                           std::to_string(keyLines[j].line) +
                                           "; the later line wins"));
      break;
    }
  }
}

}  // namespace

std::optional<Loader> LoaderFor(std::string_view path) {
  const std::size_t slash = path.find_last_of("/\\");
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  if (EndsWithNoCase(name, ".fxt")) return Loader::kQuorlet;
  if (EndsWithNoCase(name, ".txt") || EndsWithNoCase(name, ".text")) return Loader::kLinvar;
  return std::nullopt;
}

FileReport CheckFxt(std::string_view bytes) {
  FileReport report;
  report.loader = Loader::kQuorlet;
  NoteCarriageReturnsOnly(bytes, report);
  // The loader's own text gives the verdict and the count.
  const std::optional<std::string> json = QuorletJson(bytes);
  if (!json) {
    if (const std::size_t bad = Utf8ErrorOffset(bytes); bad != bytes.size()) {
      report.nullReason = Make(At(bytes, bad), Level::kError, "not-utf8",
                               "not UTF-8 (byte " + ByteText(bytes[bad]) + ")" + kGivesNull);
      return report;
    }
  }

  std::size_t entryLines = 0;
  ForEachFxtLine(bytes, [&](const FxtLine& line) {
    if (line.number == 1 && bytes.starts_with(kByteOrderMark)) {
      report.findings.push_back(OnLine(
          1, Level::kNote, "byte-order-mark",
          line.kind == FxtLineKind::kEntry
              ? "the file starts with a byte-order mark, which becomes part of the first key"
              : "the file starts with a byte-order mark, which the loader reads as part of the "
                "first line"));
    }
    if (line.kind == FxtLineKind::kNoBlank) {
      std::string message = "skipped: no blank after trimming";
      if (line.text.find('\t') != std::string_view::npos)
        message += " (a tab does not separate key from value)";
      report.findings.push_back(OnLine(line.number, Level::kWarning, "no-blank", message));
    } else if (line.kind == FxtLineKind::kEntry) {
      ++entryLines;
      if (const std::size_t tab = line.key.find('\t'); tab != std::string_view::npos) {
        Finding where;
        where.line = line.number;
        where.column = static_cast<std::size_t>(line.key.data() - line.text.data()) + tab + 1;
        report.findings.push_back(Make(where, Level::kNote, "tab-in-key",
                                       "key " + PrintableText(line.key) +
                                           " holds a tab: a tab does not separate key from value"));
      }
    }
  });

  if (!json) {
    report.nullReason =
        Make({}, Level::kError, entryLines == 0 ? "no-entry" : "too-large",
             std::string(entryLines == 0 ? "no entry line" : "too large") + kGivesNull);
  } else {
    // Only when the object holds fewer entries than there are entry lines
    // did some key repeat.
    report.count = JsonObjectSize(*json);
    if (report.count != entryLines) FindRepeatedKeys(bytes, entryLines, report);
  }
  SortFindings(report);
  return report;
}

FileReport CheckText(std::string_view bytes) {
  FileReport report;
  report.loader = Loader::kLinvar;
  const std::string_view text = bytes.substr(0, TextModeLength(bytes));
  NoteCarriageReturnsOnly(text, report);
  if (text.starts_with(kByteOrderMark)) {
    report.findings.push_back(OnLine(
        1, Level::kNote, "byte-order-mark",
        "the file starts with a byte-order mark, which stays at the start of the first line"));
  }
  ForEachTextLine(text, [&](std::size_t number, std::size_t, std::string_view line) {
    ++report.count;
    const std::size_t bad = Utf8ErrorOffset(line);
    if (bad == line.size()) return;
    Finding where;
    where.line = number;
    where.column = bad + 1;
    report.findings.push_back(Make(where, Level::kNote, "line-not-utf8",
                                   "not UTF-8 (byte " + ByteText(line[bad]) +
                                       "): the host receives the line's bytes unchanged"));
  });
  if (text.size() != bytes.size()) {
    report.findings.push_back(Make(
        At(bytes, text.size()), Level::kWarning, "end-of-text",
        "byte 0x1A ends the text here; " +
            CountText(bytes.size() - text.size() - 1, "byte after it is", "bytes after it are") +
            " not read"));
  }
  SortFindings(report);
  return report;
}

FileReport CheckUnreadable(Loader loader, std::string_view reason) {
  FileReport report;
  report.loader = loader;
  report.nullReason =
      Make({}, Level::kError, "unreadable", "cannot read: " + std::string(reason) + kGivesNull);
  return report;
}

bool HasFindingAtLeast(const FileReport& report, Level level) {
  if (report.nullReason) return true;
  return std::any_of(report.findings.begin(), report.findings.end(),
                     [level](const Finding& finding) { return finding.level <= level; });
}
