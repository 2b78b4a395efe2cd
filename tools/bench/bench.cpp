// Times the two loaders on generated inputs of five sizes each (about 6 KB
// to 60 MB, from a fixed seed), against the floor (what no loader avoids:
// the file's bytes read into fresh memory and the JSON text written once
// into a fresh block) and against a peer written with Python's json module,
// whose output must be identical to every output of ours.
//
// First the core functions here, from a file's bytes in memory to the JSON
// text in a fresh block as the host's AllocMem hands out, against the floor
// without the file system (the bytes copied instead of read); then, for each
// MACHINE=COMMAND, the shipped DLLs in a Windows process: COMMAND runs
// orvo_inprocess_bench, with its input, runs and output triples appended,
// whose floor opens, sizes, reads and closes the file as the loader does and
// whose rows also give the most heap bytes one import held at once, against
// the bound a loader keeps to: the file's size and 32 bytes an entry for an
// FXT table, the file's size and 128 KiB for a text file. One table each, a
// row a size; the last line gives the largest sizes of the first in-process
// table (of the native one when there is none):
// "fxt: N MB/s, Rx python, Fx floor; lines: N MB/s, Rx python, Fx floor".
//
// orvo_bench PEER_SCRIPT WORK_DIR [MACHINE=COMMAND]...
#include <malloc.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "fxt_json.h"
#include "lines_json.h"
#include "text_lines.h"
#include "timing.h"

namespace {

using orvo_bench::Keep;
using orvo_bench::MedianSecondsInTurns;

struct FreeBlock {
  void operator()(char* block) const { std::free(block); }
};
using Block = std::unique_ptr<char, FreeBlock>;

void* ZeroFilledBlock(std::uint32_t size) {
  return std::calloc(size, 1);
}

// LoadFxt after the read: the file's bytes, copied as the read fills a
// fresh buffer of the file's length, to the host's block.
Block FxtBlock(std::string_view file) {
  const std::unique_ptr<char[]> content(new char[file.size()]);
  if (!file.empty()) std::memcpy(content.get(), file.data(), file.size());
  Block block(FxtJson(std::string_view(content.get(), file.size()), &ZeroFilledBlock));
  if (!block) std::abort();
  return block;
}

// LoadLines after the open: the file's bytes, copied chunk by chunk as the
// reads hand them over into a block of the file's length, and the JSON array
// written into the host's block, a fresh zero-filled one.
std::size_t ReadFromMemory(void* source, char* buffer, std::size_t size) {
  std::string_view& rest = *static_cast<std::string_view*>(source);
  const std::size_t taken = std::min(size, rest.size());
  std::memcpy(buffer, rest.data(), taken);
  rest.remove_prefix(taken);
  return taken;
}

void* AllocateText(std::size_t size) {
  return std::malloc(size);
}
void ReleaseText(void* block) {
  std::free(block);
}
Block LinesBlock(std::string_view file) {
  std::string_view rest = file;
  const TextModeText text =
      ReadTextModeText(file.size(), &ReadFromMemory, &rest, {&AllocateText, &ReleaseText});
  if (text.block == nullptr) std::abort();
  Block block(LinesJsonBlock(text.view(), &ZeroFilledBlock));
  ReleaseText(text.block);
  if (!block) std::abort();
  return block;
}

// The floor here: the file's bytes copied into fresh memory, as a read fills
// it, and the JSON text written once into a fresh zero-filled block.
void CopyAndWriteOnce(std::string_view file, std::string_view json) {
  const Block bytes(static_cast<char*>(std::malloc(file.size() + 1)));
  if (!bytes) std::abort();
  std::memcpy(bytes.get(), file.data(), file.size());
  Keep(bytes.get());
  const Block block(static_cast<char*>(std::calloc(json.size() + 1, 1)));
  if (!block) std::abort();
  std::memcpy(block.get(), json.data(), json.size());
  Keep(block.get());
}

class Generator {
 public:
  std::size_t Pick(std::size_t count) { return random_() % count; }

  std::string Word() { return kWords[Pick(std::size(kWords))]; }

  // Words with the occasional quoted word, path with backslashes, word
  // outside ASCII and tab.
  std::string Words(std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
      if (i != 0) text += Pick(40) == 0 ? '\t' : ' ';
      switch (Pick(30)) {
        case 0:
          text += '"' + Word() + '"';
          break;
        case 1:
          text += "C:\\" + Word() + '\\' + Word();
          break;
        case 2:
          text += kForeignWords[Pick(std::size(kForeignWords))];
          break;
        default:
          text += Word();
      }
    }
    return text;
  }

  // An FXT table: CR LF line ends, comments, blank and indented lines, and
  // one key in twenty repeating an earlier one.
  std::string Fxt(std::size_t entries) {
    std::string text = "; generated text table\r\n";
    std::vector<std::string> keys;
    for (std::size_t i = 0; i < entries; ++i) {
      if (Pick(40) == 0) text += Pick(2) == 0 ? "# " + Words(4) + "\r\n" : "\r\n";
      std::string key;
      if (!keys.empty() && Pick(20) == 0) {
        key = keys[Pick(keys.size())];
      } else {
        key = kKeyWords[Pick(std::size(kKeyWords))];
        key += '_';
        key += kKeyWords[Pick(std::size(kKeyWords))];
        key += '_' + std::to_string(Pick(100000));
        keys.push_back(key);
      }
      if (Pick(30) == 0) text += "  ";
      text += key + ' ' + Words(4 + Pick(7)) + "\r\n";
    }
    return text;
  }

  // Lines of text with CR LF line ends, some of them empty or indented.
  std::string Lines(std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
      if (Pick(15) != 0) {
        text.append(Pick(4) == 0 ? 1 + Pick(2) : 0, '\t');
        text += Words(2 + Pick(5));
      }
      text += "\r\n";
    }
    return text;
  }

 private:
  static constexpr const char* kWords[] = {
      "the",   "of",     "and",   "file",    "open",   "save",  "window", "close",
      "value", "text",   "error", "cannot",  "load",   "this",  "is",     "a",
      "menu",  "option", "level", "player",  "score",  "quest", "item",   "sword",
      "enter", "cancel", "ok",    "warning", "select", "new",   "game",   "continue"};
  static constexpr const char* kKeyWords[] = {
      "MENU",  "DIALOG", "ERROR", "HELP", "ITEM",   "QUEST",  "NPC",   "TITLE",  "BUTTON",
      "LABEL", "HINT",   "TIP",   "MAP",  "WEAPON", "ARMOUR", "SKILL", "STATUS", "LOG"};
  static constexpr const char* kForeignWords[] = {"caf\xC3\xA9", "\xE6\x97\xA5\xE6\x9C\xAC",
                                                  "na\xC3\xAFve", "\xD0\xBC\xD0\xB8\xD1\x80"};
  std::mt19937_64 random_{20240611};
};

void WriteFile(const std::string& path, std::string_view bytes) {
  std::ofstream file(path, std::ios::binary);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!file) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(1);
  }
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

// For the shell; the paths here hold no quote.
std::string Quoted(const std::string& text) {
  std::string quoted(1, '\'');
  quoted += text;
  quoted += '\'';
  return quoted;
}

// One generated input, written to a file, and the peer's figures on it.
struct Input {
  const char* loader;   // "fxt" or "lines", the peer's mode
  std::size_t entries;  // of an FXT table, the lines that hold an entry
  std::string path;
  std::string bytes;
  std::string json;  // the peer's output
  double python;     // seconds per conversion, median, measured by the peer
  int runs;          // timed calls of ours per median
};

// Timed calls per median: enough for a steady median at every size, about a
// second of calls at most.
int RunsFor(std::size_t size, double bytesPerSecond, int most) {
  return static_cast<int>(
      std::clamp(bytesPerSecond / static_cast<double>(size), 7.0, static_cast<double>(most)));
}

Input MakeInput(const char* loader, const char* extension, std::size_t entries, std::string bytes,
                const std::string& peer, const std::string& workDir) {
  Input input{loader,
              entries,
              workDir + "/" + loader + "-" + std::to_string(bytes.size()) + extension,
              std::move(bytes),
              {},
              0,
              0};
  input.runs = RunsFor(input.bytes.size(), 3e8, 2001);
  WriteFile(input.path, input.bytes);
  const std::string output = input.path + ".python.json";
  const std::string command = "python3 " + Quoted(peer) + " " + loader + " " + Quoted(input.path) +
                              " " + Quoted(output) + " " +
                              std::to_string(RunsFor(input.bytes.size(), 3e7, 201));
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr || std::fscanf(pipe, "%lf", &input.python) != 1 || pclose(pipe) != 0) {
    std::fprintf(stderr, "the peer failed: %s\n", command.c_str());
    std::exit(1);
  }
  input.json = ReadFile(output);
  return input;
}

void CheckOutput(const Input& input, std::string_view json, const std::string& who) {
  if (json == input.json) return;
  const std::string ours = input.path + "." + who + ".json";
  WriteFile(ours, json);
  std::fprintf(stderr, "%s: %s's output differs from the peer's (%s.python.json, %s)\n",
               input.path.c_str(), who.c_str(), input.path.c_str(), ours.c_str());
  std::exit(1);
}

struct Figures {
  double ours;                    // seconds per conversion, median
  double floor;                   // seconds of the floor, median
  std::optional<long long> peak;  // heap bytes held at most during one call
};

// The peak heap a loader may reach on the input.
double PeakBound(const Input& input) {
  constexpr double kBytesPerEntry = 32;
  constexpr double kLinesWorkingBytes = 128 * 1024;
  const auto fileSize = static_cast<double>(input.bytes.size());
  return std::strcmp(input.loader, "fxt") == 0
             ? fileSize + kBytesPerEntry * static_cast<double>(input.entries)
             : fileSize + kLinesWorkingBytes;
}

// The core function and the floor here, on input's bytes in memory.
Figures MeasureHere(const Input& input) {
  Block (*const load)(std::string_view) =
      std::strcmp(input.loader, "fxt") == 0 ? FxtBlock : LinesBlock;
  const Block block = load(input.bytes);
  const std::string_view json(block.get());
  CheckOutput(input, json, "native");
  const auto [ours, floor] = MedianSecondsInTurns(
      input.runs, [&] { Keep(load(input.bytes).get()); },
      [&] { CopyAndWriteOnce(input.bytes, json); }, [] {});
  return {ours, floor, std::nullopt};
}

// Every input through one in-process command.
std::vector<Figures> MeasureInProcess(const std::vector<Input>& inputs, const std::string& machine,
                                      const std::string& command) {
  std::string line = command;
  for (const Input& input : inputs) {
    line += ' ';
    line += Quoted(input.path);
    line += ' ';
    line += std::to_string(input.runs);
    line += ' ';
    line += Quoted(input.path + "." + machine + ".json");
  }
  std::vector<Figures> figures(inputs.size());
  FILE* pipe = popen(line.c_str(), "r");
  bool read = pipe != nullptr;
  for (Figures& f : figures) {
    long long peak = 0;
    read = read && std::fscanf(pipe, "%lf %lf %lld", &f.ours, &f.floor, &peak) == 3;
    f.peak = peak;
  }
  if (pipe == nullptr || pclose(pipe) != 0 || !read) {
    std::fprintf(stderr, "%s: the in-process benchmark failed: %s\n", machine.c_str(),
                 line.c_str());
    std::exit(1);
  }
  for (const Input& input : inputs) {
    CheckOutput(input, ReadFile(input.path + "." + machine + ".json"), machine);
  }
  return figures;
}

std::string Size(std::size_t bytes) {
  char text[32];
  if (bytes < 1000000)
    std::snprintf(text, sizeof text, "%.1f KB", static_cast<double>(bytes) / 1e3);
  else
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
  return text;
}

double MegabytesPerSecond(const Input& input, double seconds) {
  return static_cast<double>(input.bytes.size()) / 1e6 / seconds;
}

void PrintTable(const std::string& title, const std::vector<Input>& inputs,
                const std::vector<Figures>& figures) {
  const bool peaks = figures.front().peak.has_value();
  std::printf("%s; medians\n", title.c_str());
  std::printf("%-6s %10s %10s %12s %8s %12s %8s %12s %8s", "loader", "input", "JSON", "per call",
              "MB/s", "floor", "x floor", "python", "x python");
  if (peaks) std::printf(" %10s %10s", "peak heap", "peak/bound");
  std::printf("\n");
  for (std::size_t i = 0; i != inputs.size(); ++i) {
    const Input& input = inputs[i];
    const Figures& f = figures[i];
    std::printf("%-6s %10s %10s %9.1f us %8.1f %9.1f us %8.2f %9.1f us %8.1f", input.loader,
                Size(input.bytes.size()).c_str(), Size(input.json.size()).c_str(), f.ours * 1e6,
                MegabytesPerSecond(input, f.ours), f.floor * 1e6, f.ours / f.floor,
                input.python * 1e6, input.python / f.ours);
    if (peaks) {
      std::printf(" %10s %10.2f", Size(static_cast<std::size_t>(*f.peak)).c_str(),
                  static_cast<double>(*f.peak) / PeakBound(input));
    }
    std::printf("\n");
  }
  std::printf("\n");
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s PEER_SCRIPT WORK_DIR [MACHINE=COMMAND]...\n", argv[0]);
    return 2;
  }
  const std::string peer = argv[1];
  const std::string workDir = argv[2];
  // The Windows heap hands out blocks above about 512 KiB as fresh pages. A
  // fixed threshold makes glibc do the same; its own would rise after each
  // free and hand warm memory back.
  mallopt(M_MMAP_THRESHOLD, 512 * 1024);

  Generator generator;
  std::vector<Input> inputs;
  for (std::size_t entries = 100; entries <= 1000000; entries *= 10)
    inputs.push_back(MakeInput("fxt", ".fxt", entries, generator.Fxt(entries), peer, workDir));
  const std::size_t largestFxt = inputs.size() - 1;
  for (std::size_t count = 260; count <= 2600000; count *= 10)
    inputs.push_back(MakeInput("lines", ".txt", 0, generator.Lines(count), peer, workDir));
  const std::size_t largestLines = inputs.size() - 1;

  std::vector<Figures> native;
  for (const Input& input : inputs) native.push_back(MeasureHere(input));
  PrintTable("native: the core functions on Linux, input in memory, output identical to the peer's",
             inputs, native);

  std::vector<Figures> summary = native;
  for (int i = 3; i < argc; ++i) {
    // MACHINE=COMMAND: the in-process benchmark of one machine and how to run it.
    const std::string_view machineAndCommand = argv[i];
    const std::size_t equals = machineAndCommand.find('=');
    const std::string machine(machineAndCommand.substr(0, equals));
    const std::vector<Figures> figures =
        MeasureInProcess(inputs, machine, std::string(machineAndCommand.substr(equals + 1)));
    PrintTable("in-process " + machine +
                   ": the shipped DLLs imported through the stand-in host, output identical to "
                   "the peer's",
               inputs, figures);
    if (i == 3) summary = figures;
  }

  const Input& fxt = inputs[largestFxt];
  const Input& lines = inputs[largestLines];
  const Figures& f = summary[largestFxt];
  const Figures& l = summary[largestLines];
  std::printf(
      "fxt: %.0f MB/s, %.1fx python, %.2fx floor; lines: %.0f MB/s, %.1fx python, %.2fx floor\n",
      MegabytesPerSecond(fxt, f.ours), fxt.python / f.ours, f.ours / f.floor,
      MegabytesPerSecond(lines, l.ours), lines.python / l.ours, l.ours / l.floor);
}
