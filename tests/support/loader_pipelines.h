// The two loaders' work between reading a file and returning to the host:
// the file's bytes, already in memory, to the JSON text in a fresh
// zero-filled block as the host's AllocMem hands out. The same pure sources
// as the plug-in DLLs, without the file and host calls.
#pragma once

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "fxt_json.h"
#include "fxt_table.h"
#include "text_lines.h"
#include "utf8.h"

struct FreeBlock {
  void operator()(char* block) const { std::free(block); }
};
using Block = std::unique_ptr<char, FreeBlock>;

// A fresh zero-filled block one byte longer than the text, holding it.
inline Block HostBlock(std::string_view json) {
  Block block(static_cast<char*>(std::calloc(json.size() + 1, 1)));
  if (block) std::memcpy(block.get(), json.data(), json.size());
  return block;
}

// LoadFxt after the read: null for text that is not UTF-8 or a table
// without entries. Throws std::bad_alloc when memory runs out.
inline Block FxtBlock(std::string_view bytes) {
  if (!IsValidUtf8(bytes)) return nullptr;
  std::string json;
  {
    const FxtTable table = ParseFxt(bytes);
    if (table.entries.empty()) return nullptr;
    json.reserve(128);
    EncodeFxtJson(table, json);
  }
  return HostBlock(json);
}

// LoadLines with the file read in chunks of this size.
inline constexpr std::size_t kLinesReadChunk = 64 * 1024;

inline Block LinesBlock(std::string_view bytes) {
  JsonLines lines;
  BeginJsonLines(lines, bytes.size());
  for (std::size_t at = 0; at < bytes.size(); at += kLinesReadChunk) {
    if (!AppendJsonLines(lines, bytes.substr(at, kLinesReadChunk))) break;
  }
  FinishJsonLines(lines);
  return HostBlock(lines.json);
}

// The loaders' entry points let nothing escape into the host: any failure
// is a null result.
template <typename Pipeline>
Block AtEntryPoint(Pipeline pipeline, std::string_view bytes) noexcept {
  try {
    return pipeline(bytes);
  } catch (...) {
    return nullptr;
  }
}
