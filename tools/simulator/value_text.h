// Texts shared by the host simulator and the Windows tests: a command's
// values as the simulator prints them and reads them back, and Linux paths as
// Wine names them. No Windows calls.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "tesk_control.h"

namespace orvo_tools {

// "i:42", "f:2.5" (shortest text that reads back as the same float), or "s:"
// and the text as EscapeText writes it, so every value fits on one field of
// one line and reads back as an argument.
std::string ValueText(const TeskValue& value);

// Tab, CR, LF and backslash as "\t", "\r", "\n", "\\"; a leading "@" doubled,
// since an argument "s:@N" is a reference. Other bytes stay as they are.
std::string EscapeText(std::string_view text);

// The inverse of EscapeText for a text that is not a reference (one that
// begins with a single "@"). Returns an error text, empty on success: a
// backslash before anything but t, r, n or a backslash, a backslash at the
// end, and a raw CR or LF are errors.
std::string UnescapeText(std::string_view escaped, std::string& text);

// Reads a 32-bit float as strtof does ("2.5", "-1e3", "0x1p-3", "inf",
// "nan"). Returns an error text, empty on success: not a number, beyond the
// float range, or a nonzero number that the float holds only as 0. Values
// that only a denormal holds are taken, rounded as strtof rounds them.
std::string ParseFloat(const std::string& text, float& value);

// Reads a 32-bit integer in decimal, with an optional sign ("42", "-7",
// "+3"): a leading 0 is no octal prefix, so "010" is ten. Returns an error
// text, empty on success: not a number, or beyond the 32-bit range.
std::string ParseInteger(const std::string& text, int32_t& value);

// A Linux absolute path names the same file through Wine's Z: drive; any
// other path is returned unchanged.
std::string WindowsPath(std::string path);

}  // namespace orvo_tools
