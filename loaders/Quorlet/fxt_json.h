// The JSON object text of an FXT table.
#pragma once

#include <string>
#include <string_view>

#include "fxt_table.h"

// Appends text as one JSON string, quotes included.
void AppendJsonString(std::string_view text, std::string& buffer);

// Appends the table as a compact JSON object: {"key":"value",...}.
void EncodeFxtJson(const FxtTable& table, std::string& buffer);
