// The JSON object text of an FXT file's bytes, written straight into the
// block that holds the result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// Where the result goes: a block of size bytes, or null (the host's AllocMem).
using FxtBlockSource = void* (*)(std::uint32_t size);

// The file's entries (ForEachFxtLine) as a compact JSON object,
// {"key":"value",...}, keys in ascending order of their unsigned bytes, each
// once with the value of its last line, in a block from allocate(n + 1)
// holding the n bytes of the text and a zero byte. Returns null, without
// asking allocate, when the bytes are not UTF-8 or hold no entry, when the
// text would not fit in a host block, or when memory runs out; null when
// allocate gives none. Memory of its own is given back before it returns.
char* FxtJson(std::string_view file, FxtBlockSource allocate) noexcept;

// The length of text written as one JSON string, quotes included.
std::size_t JsonStringLength(std::string_view text);

// Writes text as one JSON string, quotes included, at out, which has room
// for JsonStringLength(text) bytes; returns the end of what it wrote.
char* WriteJsonString(std::string_view text, char* out);
