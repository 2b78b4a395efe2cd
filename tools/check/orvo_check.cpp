// orvo-check: tells a script author what the Quorlet and Linvar loaders give
// for each file and why, with their own rules; writes declaration files that
// give a table's import its exact keys.
//
// Exit status: 0 when every file loads (and, with --strict, loses nothing;
// with --typings, every declaration was written or, with --check, is
// current), 1 otherwise, 2 for a usage error (nothing is read then).
#if defined(_WIN32)
#include <windows.h>
#endif

#include <cstdio>
#include <string>
#include <variant>
#include <vector>

#include "command_line.h"
#include "file_check.h"
#include "loader_result.h"
#include "report_text.h"
#include "system_files.h"
#include "table_typings.h"

namespace {

void PrintLine(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
}

void PrintFinding(const Options& options, const std::string& file, const Finding& finding) {
  PrintLine(options.json ? FindingJson(file, finding) : FindingText(file, finding));
}

FileReport CheckFile(const std::string& file, const FileBytes& content) {
  const Loader loader = LoaderFor(file).value_or(Loader::kQuorlet);
  if (!content.read) return CheckUnreadable(loader, content.reason);
  return loader == Loader::kQuorlet ? CheckFxt(content.bytes) : CheckText(content.bytes);
}

// Prints what the file's loader gives; true when that fails the run.
bool ReportFile(const Options& options, const std::string& file) {
  const FileReport report = CheckFile(file, ReadFileBytes(file));
  for (const Finding& finding : report.findings) PrintFinding(options, file, finding);
  if (report.nullReason) PrintFinding(options, file, *report.nullReason);
  if (options.json) {
    PrintLine(VerdictJson(file, report));
  } else if (!report.nullReason) {
    PrintLine(VerdictText(file, report));
  }
  return HasFindingAtLeast(report, options.strict ? Level::kWarning : Level::kError);
}

// Writes, or with --check compares, the table's declaration file; true when
// that fails the run.
bool TypeFile(const Options& options, const std::string& file) {
  const FileBytes content = ReadFileBytes(file);
  const FileReport report = CheckFile(file, content);
  if (report.nullReason) {
    PrintFinding(options, file, *report.nullReason);
    return true;
  }
  const std::string path = TypingsPathFor(file);
  const std::string typings = TableTypings(JsonObjectKeys(QuorletJson(content.bytes).value()));
  TypingsState state = TypingsState::kWritten;
  if (options.check) {
    const FileBytes current = ReadFileBytes(path);
    state =
        current.read && current.bytes == typings ? TypingsState::kCurrent : TypingsState::kOutdated;
  } else if (const std::string failure = WriteFileBytes(path, typings); !failure.empty()) {
    std::fprintf(stderr, "orvo-check: %s: cannot write: %s\n", path.c_str(), failure.c_str());
    return true;
  }
  const std::string line = options.json ? TypingsJson(file, path, state, report.count)
                                        : TypingsText(file, path, state, report.count);
  if (!line.empty()) PrintLine(line);
  return state == TypingsState::kOutdated;
}

int Run(const std::vector<std::string>& arguments) {
  const auto parsed = ParseCommandLine(arguments);
  if (const std::string* error = std::get_if<std::string>(&parsed)) {
    std::fprintf(stderr, "orvo-check: %s\n%s", error->c_str(), kUsage);
    return 2;
  }
  const Options& options = std::get<Options>(parsed);
  if (options.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  bool failed = false;
  for (const std::string& file : options.files) {
    failed |= options.typings ? TypeFile(options, file) : ReportFile(options, file);
  }
  std::fflush(stdout);
  return failed ? 1 : 0;
}

}  // namespace

#if defined(_WIN32)
int wmain(int count, wchar_t** wideArguments) {
  if (GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_CHAR) SetConsoleOutputCP(CP_UTF8);
  std::vector<std::string> arguments;
  for (int i = 1; i < count; ++i) {
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, wideArguments[i], -1, nullptr, 0, nullptr, nullptr);
    std::string argument(bytes > 0 ? bytes - 1 : 0, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wideArguments[i], -1, argument.data(), bytes, nullptr, nullptr);
    arguments.push_back(argument);
  }
  return Run(arguments);
}
#else
int main(int count, char** argumentTexts) {
  return Run(std::vector<std::string>(argumentTexts + 1, argumentTexts + count));
}
#endif
