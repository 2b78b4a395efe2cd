// How orvo-check writes what it found: compiler-style lines for people and
// editors, JSON lines for tools. Pure logic.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "file_check.h"

// "1 entry", "2,113 entries": the count with its thousands grouped.
std::string CountText(std::size_t count, std::string_view one, std::string_view many);

// Text as it shows in a message: control bytes written as \t, \r or \xNN.
std::string PrintableText(std::string_view text);

// "file:line:column: message", without the column or the line where the
// finding has none.
std::string FindingText(std::string_view file, const Finding& finding);

// What the loader gives when it gives something: "file: 42 entries",
// "file: 80 lines". Empty for a file that gives null.
std::string VerdictText(std::string_view file, const FileReport& report);

// Each line a JSON object, without a line end:
// {"file":F,"line":N|null,"column":N|null,"level":"error"|"warning"|"note","code":C,"message":M}
// and, last for each file,
// {"file":F,"loader":"Quorlet"|"Linvar","result":"null"|"object"|"array","count":N}
// (count absent for null). A file name that is not UTF-8 has each bad byte
// replaced by U+FFFD.
std::string FindingJson(std::string_view file, const Finding& finding);
std::string VerdictJson(std::string_view file, const FileReport& report);

enum class TypingsState { kWritten, kCurrent, kOutdated };

// What became of a table's declaration file, or empty for a current one,
// which --typings --check does not list: "strings.fxt.d.ts: written, 42 keys",
// "strings.fxt.d.ts: out of date with strings.fxt". As a JSON line:
// {"file":F,"declaration":D,"state":"written"|"current"|"outdated","count":N}.
std::string TypingsText(std::string_view table, std::string_view declaration, TypingsState state,
                        std::size_t keys);
std::string TypingsJson(std::string_view table, std::string_view declaration, TypingsState state,
                        std::size_t keys);
