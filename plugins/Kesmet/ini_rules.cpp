#include "ini_rules.h"

#include <cstdint>
#include <initializer_list>

namespace {

bool HasAny(const Utf16Unit* text, const char* units) {
  for (; *text != 0; ++text)
    for (const char* unit = units; *unit != '\0'; ++unit)
      if (*text == static_cast<Utf16Unit>(*unit)) return true;
  return false;
}

// The characters the platform may trim around names: Unicode's white space
// and 0x1A, the old end-of-file mark.
bool IsBlank(char32_t unit) {
  return (unit >= 0x09 && unit <= 0x0D) || unit == 0x1A || unit == 0x20 || unit == 0x85 ||
         unit == 0xA0 || unit == 0x1680 || (unit >= 0x2000 && unit <= 0x200A) || unit == 0x2028 ||
         unit == 0x2029 || unit == 0x202F || unit == 0x205F || unit == 0x3000;
}

char32_t Upper(char32_t unit) {
  return unit >= 'a' && unit <= 'z' ? unit - 'a' + 'A' : unit;
}

// Whether the units [begin, end) are name, ignoring ASCII case.
bool EqualsNoCase(const Utf16Unit* begin, const Utf16Unit* end, const char* name) {
  for (; begin != end; ++begin, ++name)
    if (*name == '\0' || Upper(*begin) != static_cast<char32_t>(*name)) return false;
  return *name == '\0';
}

// Digits that end COM and LPT device names: 1 to 9 and the superscripts
// one, two and three, which Windows takes for them too.
bool IsDeviceDigit(char32_t unit) {
  return (unit >= '1' && unit <= '9') || unit == 0xB9 || unit == 0xB2 || unit == 0xB3;
}

}  // namespace

bool IniWriteReadsBack(const Utf16Unit* section, const Utf16Unit* key, const Utf16Unit* value) {
  if (HasAny(section, "\r\n]") || HasAny(key, "\r\n=") || HasAny(value, "\r\n")) return false;
  const Utf16Unit* first = key;
  while (*first != 0 && IsBlank(*first)) ++first;
  return *first != '[' && *first != ';';
}

bool IsIniFilePath(const Utf16Unit* path) {
  if (*path == 0) return false;
  const auto separator = [](Utf16Unit unit) { return unit == '\\' || unit == '/'; };
  if (separator(path[0]) && separator(path[1]) && path[2] == '.' && separator(path[3]))
    return false;  // pipes, mailslots and every other device by its own name
  const Utf16Unit* name = path;
  for (const Utf16Unit* unit = path; *unit != 0; ++unit)
    if (*unit == '\\' || *unit == '/') name = unit + 1;
  // The system reads a device in the part before the first dot or colon,
  // blanks at its end dropped.
  const Utf16Unit* end = name;
  while (*end != 0 && *end != '.' && *end != ':') ++end;
  while (end != name && end[-1] == ' ') --end;
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
    if (EqualsNoCase(name, end, device)) return false;
  const bool numbered = end - name == 4 && IsDeviceDigit(end[-1]) &&
                        (EqualsNoCase(name, end - 1, "COM") || EqualsNoCase(name, end - 1, "LPT"));
  return !numbered;
}

void IniLockName(const Utf16Unit* foldedPath, Utf16Unit (&name)[kIniLockNameUnits]) {
  constexpr char kNamed[] = "Local\\Kesmet:";
  constexpr char kHashed[] = "Local\\Kesmet#";
  constexpr std::size_t kPrefixUnits = sizeof kNamed - 1;
  static_assert(sizeof kHashed - 1 == kPrefixUnits);
  std::size_t length = 0;
  while (foldedPath[length] != 0) ++length;
  const bool fits = kPrefixUnits + length < kIniLockNameUnits;
  const char* prefix = fits ? kNamed : kHashed;
  for (std::size_t i = 0; i < kPrefixUnits; ++i) name[i] = static_cast<Utf16Unit>(prefix[i]);
  Utf16Unit* out = name + kPrefixUnits;
  if (fits) {
    for (std::size_t i = 0; i < length; ++i)
      *out++ = foldedPath[i] == '\\' ? Utf16Unit{'/'} : foldedPath[i];
  } else {
    // FNV-1a over the units: two paths that share a hash only share a lock.
    std::uint64_t hash = 0xcbf29ce484222325u;
    for (std::size_t i = 0; i < length; ++i) {
      hash ^= static_cast<std::uint16_t>(foldedPath[i]);
      hash *= 0x100000001b3u;
    }
    for (int shift = 60; shift >= 0; shift -= 4)
      *out++ = static_cast<Utf16Unit>("0123456789abcdef"[hash >> shift & 0xF]);
  }
  *out = 0;
}
