// How a failure to write quorlet.d.ts reads in the log. No platform calls:
// the DLL looks the system's message up and hands over what it got.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A UTF-16 code unit: the platform's wchar_t on Windows, char16_t elsewhere so
// that the same code builds and is tested natively.
#if defined(_WIN32)
using MessageUnit = wchar_t;
#else
using MessageUnit = char16_t;
#endif

// The id under which NTDLL's message table holds the message of an error
// code with bit 28 set (a status code made an error code): the code with
// that bit cleared. nullopt for every other code, which the system's own
// message table holds under the code itself.
std::optional<std::uint32_t> NtdllMessageId(std::uint32_t code);

// The error text for code from what the message lookup gave: the message,
// UTF-16, converted to UTF-8 and cut of White_Space at its end, then
// " (os error N)". A lookup that gave no message instead gives
// "OS Error N (FormatMessageW() returned error E)", with E the error it
// reported; a message that is not valid UTF-16 gives
// "OS Error N (FormatMessageW() returned invalid UTF-16)".
std::string OsErrorText(std::uint32_t code, std::basic_string_view<MessageUnit> message,
                        std::uint32_t lookupError);

// The error text when the system takes no byte of a write.
inline constexpr char kShortWriteText[] = "failed to write whole buffer";

// Removes Unicode White_Space characters from the end of UTF-8 text.
void TrimTrailingWhiteSpace(std::string& text);
