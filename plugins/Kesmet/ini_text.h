// Number texts and text cuts of the INI commands; no heap, no platform calls.
#pragma once

#include <cstddef>
#include <cstdint>

// A UTF-16 code unit: the platform's wchar_t on Windows, char16_t elsewhere so
// that the same code builds and is tested natively.
#if defined(_WIN32)
using Utf16Unit = wchar_t;
#else
using Utf16Unit = char16_t;
#endif

// Decimal text of value, NUL-terminated: a minus sign for negatives, nothing
// else. buffer holds at least 12 bytes. Returns the length.
std::size_t FormatIniInt(std::int32_t value, char* buffer);

// value widened to double and written as C99 "%g" writes it (six significant
// digits, two-digit exponents, "inf", "-0"; every NaN as "nan"),
// NUL-terminated, into a buffer of 128 units.
void FormatIniFloat(float value, Utf16Unit (&buffer)[128]);

// Number of leading UTF-16 units of the NUL-terminated text whose UTF-8 form
// fits in maxBytes bytes, never splitting a surrogate pair. An unpaired
// surrogate counts as U+FFFD (three bytes), as the platform converts it.
std::size_t Utf16UnitsFittingUtf8(const Utf16Unit* text, std::size_t maxBytes);
