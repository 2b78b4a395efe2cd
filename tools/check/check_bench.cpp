// Times orvo-check on a 60 MB table and a 60 MB text file, the largest inputs
// of the loaders' benchmark: the checks in memory (CheckFxt, CheckText) and
// the whole program from the command line, output discarded. The table has
// a repeated key and a skipped line every 10,000 lines, so every pass of the
// check runs.
//   orvo_check_bench ORVO_CHECK WORK_DIR
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>

#include "file_check.h"
#include "timing.h"

namespace {

constexpr std::size_t kSize = 60'000'000;
constexpr int kRuns = 5;

std::string Table() {
  static constexpr const char* kWords[] = {"open",         "save",  "caf\xC3\xA9", "quest",
                                           "\xE6\x97\xA5", "score", "window",      "continue"};
  std::mt19937 random(17);
  std::string text;
  text.reserve(kSize + 200);
  for (std::size_t line = 1; text.size() < kSize; ++line) {
    if (line % 10000 == 0) {
      text += "KEY_0000001 repeated\nWORD\tonly\n";
      continue;
    }
    char key[32];
    std::snprintf(key, sizeof key, "MENU_ITEM_%08zu", line);
    text += key;
    for (int words = 2 + static_cast<int>(random() % 6); words > 0; --words) {
      text += ' ';
      text += kWords[random() % std::size(kWords)];
    }
    text += "\r\n";
  }
  return text;
}

void Write(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

void Print(const char* what, const std::string& bytes, double seconds) {
  std::printf("%-40s %6.1f MB %8.1f ms %7.0f MB/s\n", what, bytes.size() / 1e6, seconds * 1e3,
              bytes.size() / 1e6 / seconds);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s ORVO_CHECK WORK_DIR\n", argv[0]);
    return 2;
  }
  const std::string checker = argv[1], table = std::string(argv[2]) + "/check.fxt",
                    text = std::string(argv[2]) + "/check.txt";
  const std::string tableBytes = Table();
  const std::string textBytes = tableBytes;  // as lines of text: CR LF, some tabs
  Write(table, tableBytes);
  Write(text, textBytes);

  std::printf("orvo-check, native, median of %d runs\n", kRuns);
  std::size_t entries = 0, lines = 0;
  Print("CheckFxt, table in memory", tableBytes,
        orvo_bench::MedianSeconds(kRuns, [&] { entries = CheckFxt(tableBytes).count; }));
  Print("CheckText, text in memory", textBytes,
        orvo_bench::MedianSeconds(kRuns, [&] { lines = CheckText(textBytes).count; }));
  for (const std::string& file : {table, text}) {
    const std::string command = "'" + checker + "' '" + file + "' >/dev/null";
    int status = 0;
    const double seconds =
        orvo_bench::MedianSeconds(kRuns, [&] { status |= std::system(command.c_str()); });
    if (status != 0) {
      std::fprintf(stderr, "%s failed\n", command.c_str());
      return 1;
    }
    Print(("orvo-check " + file.substr(file.rfind('/') + 1) + ", the whole program").c_str(),
          file == table ? tableBytes : textBytes, seconds);
  }
  std::printf("(%zu entries, %zu lines)\n", entries, lines);
  return 0;
}
