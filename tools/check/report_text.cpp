#include "report_text.h"

#include <cstdio>

#include "fxt_json.h"
#include "utf8.h"

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

std::string_view LevelName(Level level) {
  switch (level) {
    case Level::kError:
      return "error";
    case Level::kWarning:
      return "warning";
    case Level::kNote:
      break;
  }
  return "note";
}

// A JSON string of text, each byte that is not part of well-formed UTF-8
// replaced, so that strict parsers take it.
void AppendJsonText(std::string_view text, std::string& json) {
  std::string valid;
  while (!text.empty()) {
    const std::size_t bad = Utf8ErrorOffset(text);
    valid.append(text.substr(0, bad));
    if (bad == text.size()) break;
    valid.append(kReplacement);
    text.remove_prefix(bad + 1);
  }
  const std::size_t start = json.size();
  json.resize(start + JsonStringLength(valid));
  WriteJsonString(valid, json.data() + start);
}

void AppendJsonNumber(std::size_t number, std::string& json) {
  if (number == 0) {
    json += "null";
  } else {
    json += std::to_string(number);
  }
}

}  // namespace

std::string CountText(std::size_t count, std::string_view one, std::string_view many) {
  std::string digits = std::to_string(count);
  for (std::size_t i = digits.size(); i > 3; i -= 3) digits.insert(i - 3, 1, ',');
  return digits + " " + std::string(count == 1 ? one : many);
}

std::string PrintableText(std::string_view text) {
  std::string printable;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == '\t') {
      printable += "\\t";
    } else if (byte == '\r') {
      printable += "\\r";
    } else if (byte < 0x20 || byte == 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02X", byte);
      printable += escape;
    } else {
      printable += c;
    }
  }
  return printable;
}

std::string FindingText(std::string_view file, const Finding& finding) {
  std::string text(file);
  if (finding.line != 0) {
    text += ':';
    text += std::to_string(finding.line);
  }
  if (finding.line != 0 && finding.column != 0) {
    text += ':';
    text += std::to_string(finding.column);
  }
  text += ": ";
  return text + finding.message;
}

std::string VerdictText(std::string_view file, const FileReport& report) {
  if (report.nullReason) return {};
  return std::string(file) + ": " +
         (report.loader == Loader::kQuorlet ? CountText(report.count, "entry", "entries")
                                            : CountText(report.count, "line", "lines"));
}

std::string FindingJson(std::string_view file, const Finding& finding) {
  std::string json = "{\"file\":";
  AppendJsonText(file, json);
  json += ",\"line\":";
  AppendJsonNumber(finding.line, json);
  json += ",\"column\":";
  AppendJsonNumber(finding.column, json);
  json += ",\"level\":\"";
  json += LevelName(finding.level);
  json += "\",\"code\":";
  AppendJsonText(finding.code, json);
  json += ",\"message\":";
  AppendJsonText(finding.message, json);
  return json + "}";
}

std::string VerdictJson(std::string_view file, const FileReport& report) {
  std::string json = "{\"file\":";
  AppendJsonText(file, json);
  const bool quorlet = report.loader == Loader::kQuorlet;
  json += quorlet ? ",\"loader\":\"Quorlet\"" : ",\"loader\":\"Linvar\"";
  if (report.nullReason) return json + ",\"result\":\"null\"}";
  json += quorlet ? ",\"result\":\"object\",\"count\":" : ",\"result\":\"array\",\"count\":";
  return json + std::to_string(report.count) + "}";
}

std::string TypingsText(std::string_view table, std::string_view declaration, TypingsState state,
                        std::size_t keys) {
  switch (state) {
    case TypingsState::kWritten:
      return std::string(declaration) + ": written, " + CountText(keys, "key", "keys");
    case TypingsState::kOutdated:
      return std::string(declaration) + ": out of date with " + std::string(table);
    case TypingsState::kCurrent:
      break;
  }
  return {};
}

std::string TypingsJson(std::string_view table, std::string_view declaration, TypingsState state,
                        std::size_t keys) {
  std::string json = "{\"file\":";
  AppendJsonText(table, json);
  json += ",\"declaration\":";
  AppendJsonText(declaration, json);
  json += state == TypingsState::kWritten   ? ",\"state\":\"written\""
          : state == TypingsState::kCurrent ? ",\"state\":\"current\""
                                            : ",\"state\":\"outdated\"";
  return json + ",\"count\":" + std::to_string(keys) + "}";
}
