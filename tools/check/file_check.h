// What orvo-check finds in a file's bytes: what its loader gives and why.
// Pure logic: the loaders' own line rules and core functions, no OS calls.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class Loader { kQuorlet, kLinvar };

// The loader whose pattern ("*.fxt"; "*.txt", "*.text") matches the file
// name, in any ASCII case as the host matches it; nullopt for no loader.
std::optional<Loader> LoaderFor(std::string_view path);

enum class Level {
  kError,    // the loader gives null
  kWarning,  // the loader drops part of the file: a line, a key's earlier value, bytes
  kNote,     // the loader reads it, perhaps not as meant
};

struct Finding {
  std::size_t line = 0;    // 1-based, by line feeds; 0 for the whole file
  std::size_t column = 0;  // 1-based, in bytes; 0 for the whole line
  Level level = Level::kNote;
  std::string_view code;  // a fixed name for tools, such as "not-utf8"
  std::string message;
};

struct FileReport {
  Loader loader = Loader::kQuorlet;
  std::vector<Finding> findings;  // the file's notes first, then by line and column
  // Why the loader gives null; when there is none, count is the number of
  // the table's entries or of the text's lines.
  std::optional<Finding> nullReason;
  std::size_t count = 0;
};

// A table's bytes as Quorlet reads them.
FileReport CheckFxt(std::string_view bytes);
// A text file's bytes as Linvar reads them.
FileReport CheckText(std::string_view bytes);
// A file that cannot be read, for the reason the system gives.
FileReport CheckUnreadable(Loader loader, std::string_view reason);

// True when any finding, or the null reason, is at least as grave as level.
bool HasFindingAtLeast(const FileReport& report, Level level);
