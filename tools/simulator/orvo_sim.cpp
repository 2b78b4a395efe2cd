// The host simulator: loads plug-ins into the stand-in host and performs
// imports and commands, one per action, printing what the host received and
// every breach of the host contract. Users run it as scripts/orvo-run:
//
//   orvo-run [--typings-dir DIR] [--base DIR] [--heap] PLUGIN.orvo... [-- ACTION]
//
// Without an ACTION after "--", actions are read from standard input, one a
// line, fields separated by tabs; all of them are read and checked before the
// first one runs. An argument "i:@N.M" (or f:, s:; ".M" defaults to ".1") is
// the M-th output of the N-th action; string arguments and outputs are
// escaped alike (value_text.h), so an output reads back as an argument.
// Exit status: 2 for a usage error, else 3 when a plug-in breached the host
// contract, else 1 when a plug-in did not load, else 0.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "tesk_control.h"
#include "value_text.h"

namespace {

using orvo_tools::WindowsPath;

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

// A host hands plug-ins full paths, whatever the user typed.
std::string FullPath(const std::string& path) {
  const std::wstring wide = ToUtf16(path);
  std::wstring buffer(GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr), L'\0');
  if (buffer.empty() || GetFullPathNameW(wide.c_str(), static_cast<DWORD>(buffer.size()),
                                         buffer.data(), nullptr) == 0)
    return path;
  return ToUtf8(buffer.c_str());
}

// A directory's full path without a trailing separator: the host's
// directories come that way, and paths are joined to them with one.
std::string FullDirectory(const std::string& path) {
  std::string full = FullPath(path);
  if (full.ends_with('\\')) full.pop_back();
  return full;
}

bool IsAbsolute(const std::string& path) {
  return (path.size() >= 2 && path[1] == ':') ||
         (!path.empty() && (path[0] == '\\' || path[0] == '/'));
}

// One argument of a command: a literal value, or an earlier action's output.
struct Argument {
  char kind;
  std::string field;  // as written, for messages
  std::string text;   // literal string, unescaped
  int32_t i = 0;
  float f = 0;
  int action = 0;  // 1-based action whose output this is; 0 for a literal
  int output = 0;  // 1-based output of that action
};

struct Action {
  std::string where;  // how messages name its place: "line 3", or "the action after --"
  std::string label;  // how violations name it: the command, or "import PATH"
  bool isImport = false;
  std::string path;
  std::string command;
  std::vector<Argument> arguments;
};

// What an action handed back: a command's outputs (an import has none).
struct Output {
  char kind;
  int32_t i;
  float f;
  std::string s;
};

// Digits only, at least one, value from 1 up.
std::optional<int> PositiveNumber(const std::string& text) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  const int value = std::stoi(text);
  if (value == 0) return std::nullopt;
  return value;
}

// Parses "i:INT", "f:FLOAT", "s:TEXT" (escaped as EscapeText writes it) or
// "K:@N[.M]"; actions are those already parsed, so N must name one of them.
// Returns an error text.
std::string ParseArgument(const std::string& field, const std::vector<Action>& earlier,
                          Argument& argument) {
  if (field.size() < 2 || field[1] != ':' || std::string("ifs").find(field[0]) == std::string::npos)
    return "argument \"" + field + "\" is not i:, f: or s:";
  argument.kind = field[0];
  argument.field = field;
  const std::string text = field.substr(2);
  if (text.starts_with('@') && !text.starts_with("@@")) {
    const size_t dot = text.find('.');
    const std::optional<int> action = PositiveNumber(text.substr(1, dot - 1));
    const std::optional<int> output =
        dot == std::string::npos ? 1 : PositiveNumber(text.substr(dot + 1));
    if (!action || !output) return "reference \"" + field + "\" is not @N or @N.M";
    if (*action > static_cast<int>(earlier.size()))
      return "reference \"" + field + "\" names no earlier action";
    if (earlier[*action - 1].isImport)
      return "reference \"" + field + "\" names an import, which has no outputs";
    argument.action = *action;
    argument.output = *output;
    return {};
  }
  if (argument.kind == 's') {
    const std::string error = orvo_tools::UnescapeText(text, argument.text);
    return error.empty() ? error : "argument \"" + field + "\": " + error;
  }
  if (argument.kind == 'f') {
    const std::string error = orvo_tools::ParseFloat(text, argument.f);
    return error.empty() ? error : "argument \"" + field + "\" " + error;
  }
  const std::string error = orvo_tools::ParseInteger(text, argument.i);
  return error.empty() ? error : "argument \"" + field + "\" " + error;
}

// Parses one action's fields; returns an error text. Whether a plug-in
// registered the command is checked once they are loaded.
std::string ParseAction(const std::vector<std::string>& fields, const std::vector<Action>& earlier,
                        Action& action) {
  if (fields[0] == "import") {
    if (fields.size() != 2) return "import takes one path";
    action.isImport = true;
    action.path = fields[1];
    action.label = "import " + fields[1];
    return {};
  }
  action.command = action.label = fields[0];
  for (size_t i = 1; i < fields.size(); ++i) {
    Argument argument;
    const std::string error = ParseArgument(fields[i], earlier, argument);
    if (!error.empty()) return error;
    action.arguments.push_back(std::move(argument));
  }
  return {};
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
    fields.push_back(line.substr(start, tab - start));
  fields.push_back(line.substr(start));
  return fields;
}

// An action as written: its line of standard input, split at tabs.
struct Line {
  int number;  // 1-based, counting empty lines; 0 for the action after "--"
  std::vector<std::string> fields;
};

// Every non-empty line of standard input, line ends "\n" or "\r\n", after a
// UTF-8 byte-order mark at the start, if any: what Windows editors write.
std::vector<Line> ReadLines() {
  std::string input;
  char chunk[4096];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, stdin)) > 0;) input.append(chunk, n);
  std::vector<Line> lines;
  size_t start = input.starts_with("\xEF\xBB\xBF") ? 3 : 0;
  for (int number = 1; start < input.size(); ++number) {
    size_t end = input.find('\n', start);
    if (end == std::string::npos) end = input.size();
    std::string line = input.substr(start, end - start);
    if (line.ends_with('\r')) line.pop_back();
    if (!line.empty()) lines.push_back({number, SplitTabs(line)});
    start = end + 1;
  }
  return lines;
}

// The command names that the loaded plug-ins registered.
std::set<std::string> RegisteredCommands() {
  std::set<std::string> names;
  for (int32_t i = 0; i < TeskEventCount(); ++i) {
    const std::string_view event = TeskEvent(i);
    if (event.starts_with("command:"))
      names.emplace(event.substr(8, event.rfind(':') - 8));  // after the name: ":CATEGORY"
  }
  return names;
}

// Why a command name is not one of those registered; empty when it is.
std::string UnknownCommand(const std::string& name, const std::set<std::string>& registered) {
  if (registered.contains(name)) return {};
  if (name.find(' ') != std::string::npos)
    return "\"" + name +
           "\" is not an action; expected import<TAB>PATH or COMMAND<TAB>ARGUMENT..., "
           "fields separated by tabs, not spaces";
  return "no loaded plug-in registered the command \"" + name +
         "\"; expected import<TAB>PATH or COMMAND<TAB>ARGUMENT...";
}

const char* TypeName(char kind) {
  return kind == 'i' ? "an integer" : kind == 'f' ? "a float" : "a string";
}

// Why a reference cannot take its value from the outputs its action gave;
// empty when it can.
std::string ReferenceProblem(const Argument& argument, const std::vector<Output>& given) {
  const std::string action = "action " + std::to_string(argument.action);
  const std::string output = std::to_string(argument.output);
  if (given.empty()) return action + " gave no outputs";
  if (argument.output > static_cast<int>(given.size()))
    return action + " gave " + std::to_string(given.size()) +
           (given.size() == 1 ? " output" : " outputs") + ", not " + output;
  const char kind = given[argument.output - 1].kind;
  if (kind != argument.kind)
    return action + "'s output " + output + " is " + TypeName(kind) + ", not " +
           TypeName(argument.kind);
  return {};
}

class Run {
 public:
  Run(std::string base, bool showHeap) : base_(std::move(base)), showHeap_(showHeap) {}

  // Performs every action in order; false when a reference named an output
  // that its action did not give, which stops the run.
  bool Perform(const std::vector<Action>& actions) {
    for (const Action& action : actions) {
      TeskHeapCounts before;
      TeskGetHeapCounts(&before);
      std::optional<std::string> line = action.isImport ? Import(action) : Command(action);
      if (!line) return false;
      TeskHeapCounts after;
      TeskGetHeapCounts(&after);
      const int32_t allocations = after.allocations - before.allocations;
      const int32_t releases = after.releases - before.releases;
      ShowNewLog();
      Print(*line);
      if (showHeap_)
        Print("heap: +" + std::to_string(allocations) + " -" + std::to_string(releases));
      const std::string counts =
          " (+" + std::to_string(allocations) + " -" + std::to_string(releases) + ")";
      if (allocations != releases)
        Violation(action.label + ": heap calls out of balance" + counts);
      else if (showHeap_ && !action.isImport && allocations > 0)
        Violation(action.label + ": a command allocated" + counts);
    }
    return true;
  }

  // Host log lines and violations recorded since the last call, to stderr.
  void ShowNewLog() {
    for (; logShown_ < TeskLogCount(); ++logShown_)
      std::fprintf(stderr, "log: %s\n", TeskLogLine(logShown_));
    for (; violationsShown_ < TeskViolationCount(); ++violationsShown_)
      std::fprintf(stderr, "violation: %s\n", TeskViolation(violationsShown_));
  }

  bool Breached() const { return TeskViolationCount() + ownViolations_ > 0; }

 private:
  // The path goes to the loader as the script wrote it, joined to the base
  // byte for byte when relative: a host does not repair what it was given.
  std::string Import(const Action& action) {
    outputs_.emplace_back();
    const std::string path = WindowsPath(action.path);
    const std::string full = IsAbsolute(path) ? path : base_ + "\\" + path;
    int32_t found = 0;
    const char* text = TeskImport(full.c_str(), &found);
    if (!found) return "no loader";
    return text == nullptr ? "null" : text;
  }

  std::optional<std::string> Command(const Action& action) {
    std::vector<TeskValue> inputs;
    for (const Argument& argument : action.arguments) {
      if (argument.action == 0) {
        inputs.push_back({argument.kind, argument.i, argument.f, argument.text.c_str()});
        continue;
      }
      const std::vector<Output>& given = outputs_[argument.action - 1];
      const std::string error = ReferenceProblem(argument, given);
      if (!error.empty()) {
        std::fprintf(stderr, "usage: %s: %s: %s\n", action.where.c_str(), argument.field.c_str(),
                     error.c_str());
        return std::nullopt;
      }
      const Output& output = given[argument.output - 1];
      inputs.push_back({output.kind, output.i, output.f, output.s.c_str()});
    }
    static TeskOutcome outcome;
    TeskRunCommand(action.command.c_str(), inputs.data(), static_cast<int32_t>(inputs.size()),
                   &outcome);
    outputs_.emplace_back();
    std::string line;
    for (int32_t i = 0; i < outcome.outputCount; ++i) {
      const TeskValue& output = outcome.outputs[i];
      outputs_.back().push_back(
          {static_cast<char>(output.kind), output.i, output.f, output.kind == 's' ? output.s : ""});
      line += orvo_tools::ValueText(output) + '\t';
    }
    line += outcome.flag == -1 ? "flag:-" : "flag:" + std::to_string(outcome.flag);
    return line + "\tstatus:" + std::to_string(outcome.status);
  }

  void Print(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }

  void Violation(const std::string& what) {
    std::fprintf(stderr, "violation: %s\n", what.c_str());
    ++ownViolations_;
  }

  std::string base_;
  bool showHeap_;
  int logShown_ = 0;
  int violationsShown_ = 0;
  int ownViolations_ = 0;
  std::vector<std::vector<Output>> outputs_;  // per action performed
};

const char kUsage[] =
    "usage: orvo-run [--typings-dir DIR] [--base DIR] [--heap] PLUGIN.orvo... [-- ACTION]\n";

int Usage(const std::string& problem) {
  std::fprintf(stderr, "orvo-run: %s\n%s", problem.c_str(), kUsage);
  return 2;
}

int Help() {
  std::fputs(kUsage, stdout);
  std::fputs(
      "Loads the plug-ins, then performs the ACTION after --, or one action a line of standard\n"
      "input, fields separated by tabs:\n"
      "  import PATH             prints the loader's JSON text, null, or no loader\n"
      "  COMMAND ARGUMENT...     prints the outputs, the flag and the status\n"
      "Arguments: i:INT, f:FLOAT, s:TEXT (escapes \\t \\r \\n \\\\; s:@@TEXT for @TEXT), or\n"
      "i:@N.M, f:@N.M, s:@N.M for the M-th output of the N-th action.\n"
      "Exit status: 2 usage error, 3 host contract breached, 1 a plug-in did not load, 0 else.\n",
      stdout);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(ToUtf8(argv[i]));

  std::string typingsDir = FullDirectory(".");
  std::string base = typingsDir;
  bool showHeap = false;
  std::vector<std::string> plugins;
  std::vector<Line> actionLines;
  bool haveAction = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--help") {
      return Help();
    } else if (args[i] == "--typings-dir" || args[i] == "--base") {
      if (i + 1 == args.size()) return Usage(args[i] + " takes a directory");
      std::string& directory = args[i] == "--base" ? base : typingsDir;
      directory = FullDirectory(WindowsPath(args[++i]));
    } else if (args[i] == "--heap") {
      showHeap = true;
    } else if (args[i] == "--") {
      haveAction = true;
      if (i + 1 == args.size()) return Usage("no action after --");
      actionLines.push_back({0, {args.begin() + i + 1, args.end()}});
      break;
    } else if (args[i].starts_with("--")) {
      return Usage("unknown option " + args[i]);
    } else {
      plugins.push_back(WindowsPath(args[i]));
    }
  }
  if (plugins.empty()) return Usage("no plug-in given");
  if (!haveAction) actionLines = ReadLines();

  // Every line is checked before anything runs: its form first, then, once
  // the plug-ins are loaded, its command's name.
  std::vector<Action> actions;
  for (const Line& line : actionLines) {
    Action action;
    action.where = line.number == 0 ? "the action after --" : "line " + std::to_string(line.number);
    const std::string error = ParseAction(line.fields, actions, action);
    if (!error.empty()) {
      std::fprintf(stderr, "usage: %s: %s\n", action.where.c_str(), error.c_str());
      return 2;
    }
    actions.push_back(std::move(action));
  }

  TeskSetDirectory(typingsDir.c_str());
  TeskSetBase(base.c_str());
  Run run(base, showHeap);
  int status = 0;
  for (const std::string& plugin : plugins) {
    const HMODULE module = LoadLibraryW(ToUtf16(plugin).c_str());
    if (module == nullptr) {
      std::fprintf(stderr, "cannot load %s (error %lu)\n", plugin.c_str(), GetLastError());
      status = 1;
    } else {
      TeskCountHeap(module);
    }
    run.ShowNewLog();
  }
  const std::set<std::string> registered = RegisteredCommands();
  for (const Action& action : actions) {
    const std::string error = action.isImport ? "" : UnknownCommand(action.command, registered);
    if (!error.empty()) {
      std::fprintf(stderr, "usage: %s: %s\n", action.where.c_str(), error.c_str());
      return 2;
    }
  }
  if (!run.Perform(actions)) return 2;
  return run.Breached() ? 3 : status;
}
