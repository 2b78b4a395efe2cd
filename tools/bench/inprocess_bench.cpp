// Times the shipped loaders in a Windows process: the plug-in DLLs of this
// process's machine loaded by the stand-in host, each file imported through
// the host's import path as a script's import is, against the floor, what no
// loader avoids: the file opened as its loader opens it, sized, read whole
// into fresh memory and closed, then the JSON text written once into a fresh
// AllocMem block. The host's blocks are freed between calls, outside the
// timed region; its bookkeeping of the one AllocMem call stays inside both.
//
// Then, the timings done, the heap calls of both plug-ins are counted and
// each file imported once more: the most bytes the loader held at once
// during that import, the host's block aside. Counting stays out of the
// timed calls: it asks the C runtime for the size of every block.
//
// orvo_inprocess_bench DIST_DIR TYPINGS_DIR (INPUT RUNS OUTPUT)...
//
// For each INPUT: imports it once and writes the JSON text to OUTPUT; at the
// end prints "OURS FLOOR PEAK" a line, in the order of the inputs: the median
// seconds of RUNS timed imports and of RUNS floors, taken in turns, and the
// peak heap bytes of one import.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tesk_control.h"
#include "timing.h"
#include "value_text.h"

namespace {

using orvo_bench::Keep;
using orvo_bench::MedianSecondsInTurns;

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "%s\n", what.c_str());
  std::exit(1);
}

char* Import(const std::string& path) {
  int32_t found = 0;
  char* text = TeskImport(path.c_str(), &found);
  if (found == 0) Fail("no loader for " + path);
  return text;
}

bool IsFxt(std::string_view path) {
  constexpr std::string_view kExtension = ".fxt";
  return path.size() >= kExtension.size() &&
         _stricmp(path.data() + path.size() - kExtension.size(), kExtension.data()) == 0;
}

// Opens the file as its loader does: by its UTF-8 path in UTF-16; an FXT
// table shared for reading, writing and deleting, a text file for reading and
// writing.
HANDLE OpenAsLoader(const std::string& path, bool fxt) {
  wchar_t wide[MAX_PATH];
  if (MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, wide, MAX_PATH) == 0)
    Fail("path too long: " + path);
  const DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE | (fxt ? FILE_SHARE_DELETE : DWORD{0});
  return CreateFileW(wide, GENERIC_READ, sharing, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                     nullptr);
}

// The floor: the file read whole into fresh memory, the JSON text written
// once into a fresh host block; the file's bytes are held until then, as a
// loader that writes from them holds them.
void ReadAndWriteOnce(const std::string& path, bool fxt, const std::string& json) {
  const HANDLE file = OpenAsLoader(path, fxt);
  LARGE_INTEGER size{};
  if (file == INVALID_HANDLE_VALUE || !GetFileSizeEx(file, &size)) Fail("cannot open " + path);
  const auto length = static_cast<DWORD>(size.QuadPart);
  const std::unique_ptr<char, decltype(&std::free)> bytes(
      static_cast<char*>(std::malloc(length + 1)), &std::free);
  DWORD read = 0;
  if (!bytes || !ReadFile(file, bytes.get(), length, &read, nullptr) || read != length)
    Fail("cannot read " + path);
  CloseHandle(file);
  Keep(bytes.get());
  char* const block = static_cast<char*>(AllocMem(static_cast<uint32_t>(json.size() + 1)));
  if (block == nullptr) std::abort();
  std::memcpy(block, json.data(), json.size());
  Keep(block);
}

// The most heap bytes the plug-ins held at once during one import.
int64_t PeakHeapOfImport(const std::string& path) {
  TeskResetHeapPeak();
  TeskHeapBytes before;
  TeskGetHeapBytes(&before);
  Keep(Import(path));
  TeskHeapBytes after;
  TeskGetHeapBytes(&after);
  TeskReleaseBlocks();
  return after.peak - before.live;
}

void WriteOutput(const std::string& path, const std::string& text) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr || std::fwrite(text.data(), 1, text.size(), file) != text.size() ||
      std::fclose(file) != 0) {
    Fail("cannot write " + path);
  }
}

struct Row {
  std::string input;
  double ours;
  double floor;
  int64_t peak;
};

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
    if (module == nullptr) Fail("cannot load " + file);
    plugins.push_back(module);
  }

  std::vector<Row> rows;
  for (int i = kFirstInput; i < argc; i += 3) {
    const std::string input = orvo_tools::WindowsPath(argv[i]);
    const int runs = std::atoi(argv[i + 1]);
    const char* const first = Import(input);
    if (first == nullptr) Fail(input + ": the loader gave null");
    const std::string json = first;
    TeskReleaseBlocks();
    WriteOutput(orvo_tools::WindowsPath(argv[i + 2]), json);

    const bool fxt = IsFxt(input);
    const auto [ours, floor] = MedianSecondsInTurns(
        runs, [&] { Keep(Import(input)); }, [&] { ReadAndWriteOnce(input, fxt, json); },
        TeskReleaseBlocks);
    rows.push_back({input, ours, floor, 0});
  }

  for (const HMODULE module : plugins) TeskCountHeap(module);
  for (Row& row : rows) row.peak = PeakHeapOfImport(row.input);
  for (const Row& row : rows)
    std::printf("%.9g %.9g %lld\n", row.ours, row.floor, static_cast<long long>(row.peak));

  if (TeskViolationCount() != 0) Fail(std::string("host contract breached: ") + TeskViolation(0));
  for (const HMODULE module : plugins) FreeLibrary(module);
  return 0;
}
