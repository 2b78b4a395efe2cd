#include "command_line.h"

#include "file_check.h"

std::variant<Options, std::string> ParseCommandLine(const std::vector<std::string>& arguments) {
  Options options;
  bool optionsEnd = false;
  for (const std::string& argument : arguments) {
    if (!optionsEnd && argument.starts_with("-") && argument != "-") {
      if (argument == "--") {
        optionsEnd = true;
      } else if (argument == "--strict") {
        options.strict = true;
      } else if (argument == "--json") {
        options.json = true;
      } else if (argument == "--typings") {
        options.typings = true;
      } else if (argument == "--check") {
        options.check = true;
      } else if (argument == "--help" || argument == "-h") {
        options.help = true;
      } else {
        return "unknown option " + argument;
      }
      continue;
    }
    const std::optional<Loader> loader = LoaderFor(argument);
    if (!loader) return argument + ": no loader reads it (.fxt, .txt, .text)";
    options.files.push_back(argument);
  }
  if (options.help) return options;
  if (options.check && !options.typings) return "--check goes with --typings";
  if (options.strict && options.typings) return "--strict does not go with --typings";
  if (options.files.empty()) return "no file given";
  for (const std::string& file : options.files) {
    if (options.typings && LoaderFor(file) != Loader::kQuorlet)
      return file + ": --typings takes FXT tables (.fxt)";
  }
  return options;
}
