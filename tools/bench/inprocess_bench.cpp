// Times the shipped loaders in a Windows process: the plug-in DLLs of this
// process's machine loaded by the stand-in host, each file imported through
// the host's import path as a script's import is, against the floor (the
// JSON text's size copied into a fresh working buffer and from there into a
// fresh AllocMem block, the working buffer freed: the two copies the loaders
// must make). The host's blocks are freed between calls, outside the timed
// region; its bookkeeping of the one AllocMem call stays inside both.
//
// orvo_inprocess_bench DIST_DIR TYPINGS_DIR (INPUT RUNS OUTPUT)...
//
// For each INPUT: imports it once and writes the JSON text to OUTPUT, then
// prints "OURS FLOOR" on a line, the median seconds of RUNS timed imports
// and of RUNS floors.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tesk_control.h"
#include "timing.h"
#include "value_text.h"

namespace {

using orvo_bench::Keep;
using orvo_bench::MedianSeconds;

char* Import(const std::string& path) {
  int32_t found = 0;
  char* text = TeskImport(path.c_str(), &found);
  if (found == 0) {
    std::fprintf(stderr, "no loader for %s\n", path.c_str());
    std::exit(1);
  }
  return text;
}

void CopyTwice(const std::string& json) {
  const std::unique_ptr<char[]> work(new char[json.size()]);
  std::memcpy(work.get(), json.data(), json.size());
  Keep(work.get());
  char* const block = static_cast<char*>(AllocMem(static_cast<uint32_t>(json.size() + 1)));
  if (block == nullptr) std::abort();
  std::memcpy(block, work.get(), json.size());
  Keep(block);
}

void WriteOutput(const std::string& path, const std::string& text) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr || std::fwrite(text.data(), 1, text.size(), file) != text.size() ||
      std::fclose(file) != 0) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  constexpr int kFirstInput = 3;
  if (argc < kFirstInput || (argc - kFirstInput) % 3 != 0) {
    std::fprintf(stderr, "usage: %s DIST_DIR TYPINGS_DIR (INPUT RUNS OUTPUT)...\n", argv[0]);
    return 2;
  }
  const std::string dist = orvo_tools::WindowsPath(argv[1]);
  TeskReset();
  TeskSetDirectory(orvo_tools::WindowsPath(argv[2]).c_str());
  std::vector<HMODULE> plugins;
  for (const char* name : {"Quorlet", "Linvar"}) {
    const std::string file = dist + "\\" + name + (sizeof(void*) == 8 ? "64" : "") + ".orvo";
    const HMODULE module = LoadLibraryA(file.c_str());
    if (module == nullptr) {
      std::fprintf(stderr, "cannot load %s\n", file.c_str());
      return 1;
    }
    plugins.push_back(module);
  }

  for (int i = kFirstInput; i < argc; i += 3) {
    const std::string input = orvo_tools::WindowsPath(argv[i]);
    const int runs = std::atoi(argv[i + 1]);
    const char* const first = Import(input);
    if (first == nullptr) {
      std::fprintf(stderr, "%s: the loader gave null\n", input.c_str());
      return 1;
    }
    const std::string json = first;
    TeskReleaseBlocks();
    WriteOutput(orvo_tools::WindowsPath(argv[i + 2]), json);

    const double ours = MedianSeconds(
        runs, [&] { Keep(Import(input)); }, TeskReleaseBlocks);
    const double floor = MedianSeconds(
        runs, [&] { CopyTwice(json); }, TeskReleaseBlocks);
    std::printf("%.9g %.9g\n", ours, floor);
    std::fflush(stdout);
  }
  if (TeskViolationCount() != 0) {
    std::fprintf(stderr, "host contract breached: %s\n", TeskViolation(0));
    return 1;
  }
  for (const HMODULE module : plugins) FreeLibrary(module);
  return 0;
}
