// The JSON object text of an FXT table, and of an FXT file's bytes.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "fxt_table.h"

// Appends text as one JSON string, quotes included.
void AppendJsonString(std::string_view text, std::string& buffer);

// Appends the table as a compact JSON object: {"key":"value",...}.
void EncodeFxtJson(const FxtTable& table, std::string& buffer);

// LoadFxt's work between reading the file and the host's block: the JSON
// object text of the file's bytes, written into their buffer once they are
// parsed (it grows if the text needs more than its capacity). nullopt when
// they are not UTF-8 or hold no entry, or when the text would not fit in a
// host block. Throws std::bad_alloc when memory runs out.
std::optional<std::string> FxtJson(std::string content);

// The capacity a reader gives the buffer of a file of this length so that
// FxtJson writes a typical table's text without a second buffer.
std::size_t FxtJsonRoom(std::size_t fileLength);
