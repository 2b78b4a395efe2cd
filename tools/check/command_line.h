// orvo-check's arguments. Pure logic.
#pragma once

#include <string>
#include <string_view>
#include <variant>
#include <vector>

inline constexpr char kUsage[] =
    "usage: orvo-check [--strict] [--json] FILE...          what each file's loader gives, and "
    "why\n"
    "       orvo-check [--json] --typings [--check] FILE.fxt...  write (or check) FILE.fxt.d.ts\n";

struct Options {
  bool strict = false;   // skipped lines, replaced keys and unread bytes fail too
  bool json = false;     // JSON lines instead of compiler-style lines
  bool typings = false;  // write declaration files
  bool check = false;    // with typings: write nothing, list what is out of date
  bool help = false;
  std::vector<std::string> files;
};

// The options, or the text of a usage error (one line, no line end).
std::variant<Options, std::string> ParseCommandLine(const std::vector<std::string>& arguments);
