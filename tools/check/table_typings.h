// Declaration files that give a table's import its exact keys. Pure logic.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The declaration file beside a table, the name the TypeScript compiler looks
// for when a script imports the table by its own name ("./strings.fxt"):
// "strings.fxt.d.ts". It needs no compiler option and overrides the
// "*.fxt" module of quorlet.d.ts for this one file.
std::string TypingsPathFor(std::string_view tablePath);

// A TypeScript string literal, in double quotes, that holds exactly the
// UTF-8 text: quote and backslash escaped, control characters and the line
// and paragraph separators (U+2028, U+2029) as escapes, the rest unchanged.
std::string TypeScriptString(std::string_view text);

// The declaration text: the default export as an object type with one
// readonly string property per key, in the given order, LF line ends.
std::string TableTypings(const std::vector<std::string>& keys);
