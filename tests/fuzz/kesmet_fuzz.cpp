// Kesmet's conversions on arbitrary bytes: the first four are an int's bits,
// whose text must be what printf writes; the fifth is a byte limit and the
// rest UTF-16 text, whose cut must be the longest whole-character prefix
// within the limit and, cut for the 128-byte result buffer, must convert and
// end inside it. The same text, as a path, must give a lock name that is
// terminated inside its buffer and holds no backslash after "Local\", and,
// split at its first two NULs, goes through the write and path checks.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "ini_rules.h"
#include "ini_text.h"

namespace {

void CheckIntText(std::int32_t value) {
  char text[12];
  std::memset(text, 'x', sizeof text);
  const std::size_t written = FormatIniInt(value, text);
  char expected[16];
  std::snprintf(expected, sizeof expected, "%d", value);
  FUZZ_CHECK(written == std::strlen(expected));
  FUZZ_CHECK(std::memcmp(text, expected, written + 1) == 0);
}

// A character of the text: the units it takes and its UTF-8 form, U+FFFD
// for an unpaired surrogate.
struct Character {
  std::size_t units;
  std::string utf8;
};

std::vector<Character> Characters(const std::u16string& text) {
  std::vector<Character> characters;
  for (std::size_t i = 0; i < text.size() && text[i] != 0;) {
    char32_t point = text[i];
    std::size_t units = 1;
    if (point >= 0xD800 && point < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      point = 0x10000 + ((point - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      units = 2;
    } else if (point >= 0xD800 && point < 0xE000) {
      point = 0xFFFD;
    }
    std::string utf8;
    if (point < 0x80) {
      utf8 += static_cast<char>(point);
    } else if (point < 0x800) {
      utf8 += static_cast<char>(0xC0 | point >> 6);
      utf8 += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
      utf8 += static_cast<char>(0xE0 | point >> 12);
      utf8 += static_cast<char>(0x80 | (point >> 6 & 0x3F));
      utf8 += static_cast<char>(0x80 | (point & 0x3F));
    } else {
      utf8 += static_cast<char>(0xF0 | point >> 18);
      utf8 += static_cast<char>(0x80 | (point >> 12 & 0x3F));
      utf8 += static_cast<char>(0x80 | (point >> 6 & 0x3F));
      utf8 += static_cast<char>(0x80 | (point & 0x3F));
    }
    characters.push_back({units, utf8});
    i += units;
  }
  return characters;
}

// The cut must end on the boundary after a whole number of characters whose
// UTF-8 form fits, and the next character must not fit. Returns that form.
std::string CheckCut(const std::u16string& text, const std::vector<Character>& characters,
                     std::size_t maxBytes) {
  std::vector<Utf16Unit> units(text.begin(), text.end());
  units.push_back(0);
  const std::size_t cut = Utf16UnitsFittingUtf8(units.data(), maxBytes);
  std::size_t taken = 0;
  std::string utf8;
  std::size_t next = 0;
  for (; next < characters.size() && taken < cut; ++next) {
    taken += characters[next].units;
    utf8 += characters[next].utf8;
  }
  FUZZ_CHECK(taken == cut);
  FUZZ_CHECK(utf8.size() <= maxBytes);
  if (next < characters.size()) FUZZ_CHECK(utf8.size() + characters[next].utf8.size() > maxBytes);
  return utf8;
}

void CheckLockName(const std::u16string& path) {
  std::vector<Utf16Unit> units(path.begin(), path.end());
  units.push_back(0);
  Utf16Unit name[kIniLockNameUnits];
  for (Utf16Unit& unit : name) unit = 'x';
  IniLockName(units.data(), name);
  std::size_t length = 0;
  while (length < kIniLockNameUnits && name[length] != 0) ++length;
  FUZZ_CHECK(length < kIniLockNameUnits);
  constexpr std::size_t kNamespace = 6;  // "Local\"
  FUZZ_CHECK(length > kNamespace);
  for (std::size_t i = kNamespace; i < length; ++i) FUZZ_CHECK(name[i] != '\\');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 5) return 0;
  std::int32_t value;
  std::memcpy(&value, data, sizeof value);
  CheckIntText(value);

  std::u16string text;
  for (std::size_t i = 5; i + 1 < size; i += 2) {
    text += static_cast<char16_t>(data[i] | data[i + 1] << 8);
  }
  CheckLockName(text);
  std::vector<Utf16Unit> parts(text.begin(), text.end());
  parts.insert(parts.end(), 3, 0);
  const Utf16Unit* section = parts.data();
  const Utf16Unit* key = section + std::char_traits<Utf16Unit>::length(section) + 1;
  const Utf16Unit* valueText = key + std::char_traits<Utf16Unit>::length(key) + 1;
  IniWriteReadsBack(section, key, valueText);
  IsIniFilePath(section);
  const std::vector<Character> characters = Characters(text);
  CheckCut(text, characters, data[4]);

  // As the string command does: the cut for 127 bytes, converted into the
  // 128-byte result and terminated after it.
  const std::string utf8 = CheckCut(text, characters, 127);
  char result[128];
  FUZZ_CHECK(utf8.size() < sizeof result);
  std::memcpy(result, utf8.data(), utf8.size());
  result[utf8.size()] = '\0';
  return 0;
}
