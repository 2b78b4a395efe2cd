// What Kesmet refuses before it calls the platform, and the name of the lock
// that serialises its calls on one file; no heap, no platform calls.
#pragma once

#include <cstddef>

#include "ini_text.h"

// Whether the platform's reader gives back what a write stores: no CR or LF
// in section, key or text (they would start lines of their own), no '=' in
// the key (the line is split at its first one), no key whose first character
// after the blanks the platform trims is '[' (a section line) or ';' (a
// comment to the platform's listings), no ']' in the section (it ends the
// section line). Blanks at the ends and quotes around the text, which the
// platform only drops, are allowed.
bool IniWriteReadsBack(const Utf16Unit* section, const Utf16Unit* key, const Utf16Unit* value);

// Whether path can name an INI file: it is not empty, not in the device
// namespace (\\.\, either separator), and its last part is not a device
// (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, CONIN$, CONOUT$; any case, with
// an extension, blanks before it or a colon after the name).
bool IsIniFilePath(const Utf16Unit* path);

// The lock of one file: "Local\Kesmet:" and the full, upper-cased path with
// its backslashes made slashes (object names hold no backslash), or, when that
// does not fit, "Local\Kesmet#" and a 64-bit hash of the path in hexadecimal.
constexpr std::size_t kIniLockNameUnits = 260;
void IniLockName(const Utf16Unit* foldedPath, Utf16Unit (&name)[kIniLockNameUnits]);
