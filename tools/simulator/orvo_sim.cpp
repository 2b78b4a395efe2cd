// The host simulator: loads plug-ins into the stand-in host and performs
// imports and commands, one per action, printing what the host received.
//
//   orvo_sim [--typings-dir DIR] [--base DIR] PLUGIN.orvo... [-- ACTION]
//
// Without an ACTION after "--", actions are read from standard input, one a
// line, fields separated by tabs. Exit status: 0 when every plug-in loaded,
// 1 when one did not, 2 for a usage error.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tesk_control.h"

namespace {

std::string ToUtf8(const wchar_t* text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string utf8(size > 0 ? size - 1 : 0, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), size, nullptr, nullptr);
  return utf8;
}

std::wstring ToUtf16(const std::string& text) {
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  std::wstring wide(size > 0 ? size - 1 : 0, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(), size);
  return wide;
}

// A Linux absolute path names the same file through Wine's Z: drive.
std::string WindowsPath(std::string path) {
  if (path.empty() || path[0] != '/') return path;
  for (char& c : path)
    if (c == '/') c = '\\';
  return "Z:" + path;
}

std::string CurrentDirectory() {
  wchar_t buffer[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, buffer);
  return ToUtf8(buffer);
}

// A host hands plug-ins full paths, whatever the user typed.
std::string FullPath(const std::string& path) {
  wchar_t buffer[MAX_PATH];
  const DWORD length = GetFullPathNameW(ToUtf16(path).c_str(), MAX_PATH, buffer, nullptr);
  return length == 0 || length >= MAX_PATH ? path : ToUtf8(buffer);
}

int gLogShown = 0;

void ShowNewLog() {
  for (; gLogShown < TeskLogCount(); ++gLogShown)
    std::fprintf(stderr, "log: %s\n", TeskLogLine(gLogShown));
  static int violationsShown = 0;
  for (; violationsShown < TeskViolationCount(); ++violationsShown)
    std::fprintf(stderr, "violation: %s\n", TeskViolation(violationsShown));
}

std::string FloatText(float value) {
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

std::string Import(const std::string& path) {
  int32_t found = 0;
  const char* text = TeskImport(WindowsPath(path).c_str(), &found);
  if (!found) return "no loader";
  return text == nullptr ? "null" : text;
}

// Runs COMMAND ARG...; returns the printed line, or an empty text for bad arguments.
std::string RunCommand(const std::vector<std::string>& fields) {
  std::vector<TeskValue> inputs;
  for (size_t i = 1; i < fields.size(); ++i) {
    const std::string& field = fields[i];
    if (field.size() < 2 || field[1] != ':') return {};
    const char* value = field.c_str() + 2;
    switch (field[0]) {
      case 'i':
        inputs.push_back({'i', static_cast<int32_t>(std::strtol(value, nullptr, 0)), 0, nullptr});
        break;
      case 'f':
        inputs.push_back({'f', 0, std::strtof(value, nullptr), nullptr});
        break;
      case 's':
        inputs.push_back({'s', 0, 0, value});
        break;
      default:
        return {};
    }
  }
  static TeskOutcome outcome;
  TeskRunCommand(fields[0].c_str(), inputs.data(), static_cast<int32_t>(inputs.size()), &outcome);
  if (!outcome.found) return "no command";
  std::string line;
  for (int32_t i = 0; i < outcome.outputCount; ++i) {
    const TeskValue& output = outcome.outputs[i];
    if (output.kind == 'i') line += "i:" + std::to_string(output.i);
    if (output.kind == 'f') line += "f:" + FloatText(output.f);
    if (output.kind == 's') line += std::string("s:") + output.s;
    line += '\t';
  }
  line += outcome.flag == -1 ? "flag:-" : "flag:" + std::to_string(outcome.flag);
  return line + "\tstatus:" + std::to_string(outcome.status);
}

std::string Perform(const std::vector<std::string>& fields) {
  if (fields.size() == 2 && fields[0] == "import") return Import(fields[1]);
  return RunCommand(fields);
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
    fields.push_back(line.substr(start, tab - start));
  fields.push_back(line.substr(start));
  return fields;
}

int Usage() {
  std::fprintf(stderr,
               "usage: orvo_sim [--typings-dir DIR] [--base DIR] PLUGIN.orvo... [-- ACTION]\n");
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(ToUtf8(argv[i]));

  std::string typingsDir = CurrentDirectory();
  std::string base = CurrentDirectory();
  std::vector<std::string> plugins;
  std::vector<std::string> action;
  bool haveAction = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--typings-dir" || args[i] == "--base") {
      if (i + 1 == args.size()) return Usage();
      std::string& directory = args[i] == "--base" ? base : typingsDir;
      directory = FullPath(WindowsPath(args[++i]));
    } else if (args[i] == "--") {
      action.assign(args.begin() + i + 1, args.end());
      haveAction = true;
      break;
    } else if (args[i].rfind("--", 0) == 0) {
      return Usage();
    } else {
      plugins.push_back(WindowsPath(args[i]));
    }
  }
  if (plugins.empty() || (haveAction && action.empty())) return Usage();

  TeskSetDirectory(typingsDir.c_str());
  TeskSetBase(base.c_str());
  int status = 0;
  for (const std::string& plugin : plugins) {
    if (LoadLibraryW(ToUtf16(plugin).c_str()) == nullptr) {
      std::fprintf(stderr, "cannot load %s (error %lu)\n", plugin.c_str(), GetLastError());
      status = 1;
    }
    ShowNewLog();
  }

  auto perform = [](const std::vector<std::string>& fields) {
    const std::string line = Perform(fields);
    ShowNewLog();
    if (line.empty()) {
      std::fprintf(stderr, "bad action\n");
      return false;
    }
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    return true;
  };

  if (haveAction) return perform(action) ? status : 2;
  std::string line;
  for (int c; (c = std::fgetc(stdin)) != EOF;) {
    if (c != '\n') {
      line += static_cast<char>(c);
      continue;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && !perform(SplitTabs(line))) status = 2;
    line.clear();
  }
  if (!line.empty() && !perform(SplitTabs(line))) status = 2;
  return status;
}
