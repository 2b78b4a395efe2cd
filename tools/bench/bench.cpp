// Measures the two loaders' core functions, from a file's bytes in memory to
// the JSON text in a fresh block as the host's AllocMem hands out, against
// the floor (copying the JSON text's size into
// fresh memory twice, as the loaders must: their working text and the host's
// block) and against a peer written with Python's json module, whose output
// must be identical. Inputs are generated from a fixed seed.
//
// orvo_bench PEER_SCRIPT WORK_DIR
#include <malloc.h>

#include <algorithm>
#include <chrono>
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
#include "text_lines.h"

namespace {

using Clock = std::chrono::steady_clock;

struct FreeBlock {
  void operator()(char* block) const { std::free(block); }
};
using Block = std::unique_ptr<char, FreeBlock>;

// The host's part: a fresh zero-filled block one byte longer than the text,
// holding it.
Block HostBlock(const std::optional<std::string>& json) {
  if (!json) std::abort();
  Block block(static_cast<char*>(std::calloc(json->size() + 1, 1)));
  if (!block) std::abort();
  std::memcpy(block.get(), json->data(), json->size());
  return block;
}

// LoadFxt after the read: the file's bytes, copied as the read fills a
// buffer of the file's length, to the host's block.
Block FxtBlock(std::string_view file) {
  return HostBlock(FxtJson(std::string(file)));
}

// LoadLines after the open: the file's bytes, copied chunk by chunk as the
// reads hand them over, to the host's block.
std::size_t ReadFromMemory(void* source, char* buffer, std::size_t size) {
  std::string_view& rest = *static_cast<std::string_view*>(source);
  const std::size_t taken = std::min(size, rest.size());
  std::memcpy(buffer, rest.data(), taken);
  rest.remove_prefix(taken);
  return taken;
}

Block LinesBlock(std::string_view file) {
  std::string_view rest = file;
  return HostBlock(LinesJson(file.size(), &ReadFromMemory, &rest));
}

// Keeps the compiler from dropping a copy whose result nobody reads.
void Keep(const void* data) {
  asm volatile("" : : "r"(data) : "memory");
}

template <typename Run>
double MedianSeconds(int runs, Run run) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    const auto start = Clock::now();
    run();
    times.push_back(std::chrono::duration<double>(Clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

// The floor: the JSON text's size copied into a fresh working buffer and from
// there into a fresh zero-filled block, whose pages the copies touch first.
void CopyTwice(std::string_view json) {
  const std::unique_ptr<char[]> work(new char[json.size()]);
  std::memcpy(work.get(), json.data(), json.size());
  Keep(work.get());
  const Block block(static_cast<char*>(std::calloc(json.size() + 1, 1)));
  if (!block) std::abort();
  std::memcpy(block.get(), work.get(), json.size());
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

struct Figures {
  double ours;    // seconds per conversion, median
  double floor;   // seconds for the two copies, median
  double python;  // seconds per conversion, median, measured by the peer
};

// Runs ours, the floor and the peer on one input and prints their times.
Figures Measure(const char* name, const char* mode, Block (*load)(std::string_view),
                const std::string& input, int runs, int peerRuns, const std::string& peer,
                const std::string& workDir) {
  const Block block = load(input);
  const std::string_view json(block.get());

  Figures figures{};
  figures.ours = MedianSeconds(runs, [&] { Keep(load(input).get()); });
  figures.floor = MedianSeconds(runs, [&] { CopyTwice(json); });

  const std::string inputPath = workDir + "/" + name + ".in";
  const std::string outputPath = workDir + "/" + name + ".python.json";
  WriteFile(inputPath, input);
  const std::string command = "python3 '" + peer + "' " + mode + " '" + inputPath + "' '" +
                              outputPath + "' " + std::to_string(peerRuns);
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr || std::fscanf(pipe, "%lf", &figures.python) != 1 || pclose(pipe) != 0) {
    std::fprintf(stderr, "%s: the peer failed: %s\n", name, command.c_str());
    std::exit(1);
  }
  if (ReadFile(outputPath) != json) {
    WriteFile(workDir + "/" + name + ".ours.json", json);
    std::fprintf(stderr, "%s: the peer's output differs from ours (both in %s)\n", name,
                 workDir.c_str());
    std::exit(1);
  }

  const double megabytes = static_cast<double>(input.size()) / 1e6;
  std::printf("%s: %.3f MB in, %.3f MB of JSON, output identical to the peer's\n", name, megabytes,
              static_cast<double>(json.size()) / 1e6);
  const auto print = [&](const char* what, double seconds) {
    std::printf("  %-6s %12.1f us  %7.1f MB/s\n", what, seconds * 1e6, megabytes / seconds);
  };
  print("ours", figures.ours);
  print("floor", figures.floor);
  print("python", figures.python);
  std::fflush(stdout);
  return figures;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s PEER_SCRIPT WORK_DIR\n", argv[0]);
    return 2;
  }
  const std::string peer = argv[1];
  const std::string workDir = argv[2];
  // The Windows heap hands out blocks above about 512 KiB as fresh pages. A
  // fixed threshold makes glibc do the same; its own would rise after each
  // free and hand warm memory back.
  mallopt(M_MMAP_THRESHOLD, 512 * 1024);

  Generator generator;
  const std::string fxt = generator.Fxt(1000000);
  const std::string lines = generator.Lines(2000000);
  const std::string smallFxt = generator.Fxt(100);
  const std::string smallLines = generator.Lines(100);

  const Figures f = Measure("fxt", "fxt", FxtBlock, fxt, 7, 3, peer, workDir);
  const Figures l = Measure("lines", "lines", LinesBlock, lines, 7, 3, peer, workDir);
  Measure("fxt-100", "fxt", FxtBlock, smallFxt, 2001, 2001, peer, workDir);
  Measure("lines-100", "lines", LinesBlock, smallLines, 2001, 2001, peer, workDir);

  std::printf(
      "fxt: %.0f MB/s, %.1fx python, %.2fx floor; lines: %.0f MB/s, %.1fx python, %.2fx floor\n",
      static_cast<double>(fxt.size()) / 1e6 / f.ours, f.python / f.ours, f.ours / f.floor,
      static_cast<double>(lines.size()) / 1e6 / l.ours, l.python / l.ours, l.ours / l.floor);
}
