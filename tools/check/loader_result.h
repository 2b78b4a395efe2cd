// What the Quorlet loader gives for a table's bytes, from its own core
// function, and the keys of that JSON object. Pure logic.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The JSON object text Quorlet hands the host for these bytes; nullopt where
// it gives null.
std::optional<std::string> QuorletJson(std::string_view bytes);

// The keys of a JSON object text of strings in the loaders' compact form
// ({"key":"value",...}), each decoded to its bytes, in the text's order.
std::vector<std::string> JsonObjectKeys(std::string_view json);

// The number of members of such an object text.
std::size_t JsonObjectSize(std::string_view json);
