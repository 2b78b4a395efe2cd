// The plug-ins under load, with large inputs and with allocations failing:
// results stay right and nothing reaches the host but results.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "reference_text.h"
#include "support.h"

namespace orvo_test {
namespace {

class StressTest : public testing::Test {
 protected:
  void SetUp() override {
    TeskReset();
    TeskSetDirectory(dir_.path().c_str());
    for (const char* name : {"Quorlet.orvo", "Linvar.orvo", "Kesmet.orvo"})
      plugins_.push_back(std::make_unique<Plugin>(name));
    if (kTambrelBuilt) plugins_.push_back(std::make_unique<Plugin>("Tambrel.orvo"));
  }
  void TearDown() override {
    TeskFailHeapAllocation(-1);
    EXPECT_EQ(Violations(), std::vector<std::string>{});
    plugins_.clear();
  }
  TempDir dir_;
  std::vector<std::unique_ptr<Plugin>> plugins_;
};

// What one round of every kind of call gives; compared across threads.
struct Round {
  std::optional<std::string> fxt, lines;
  std::vector<Ran> commands;
  bool operator==(const Round&) const = default;
};

TEST_F(StressTest, EightThreadsGetWhatOneThreadGets) {
  std::string fxt, text;
  for (int i = 0; i < 500; ++i) {
    fxt += "key" + std::to_string(i * 37 % 500) + " value \"" + std::to_string(i) + "\"\r\n";
    text += "line\t" + std::to_string(i) + "\r\n";
  }
  WriteFile(dir_ / "t.fxt", fxt);
  WriteFile(dir_ / "t.txt", text);
  WriteFile(dir_ / "shared.ini", "[s]\nint=42\nfloat=2.5\ntext=caf\xc3\xa9\n");
  const std::string ini = dir_ / "shared.ini";

  // Each thread writes its own file; everything else is shared.
  auto round = [&](int thread) {
    const std::string own = dir_ / ("own" + std::to_string(thread) + ".ini");
    Round r{Import(dir_ / "t.fxt").text, Import(dir_ / "t.txt").text, {}};
    r.commands.push_back(
        orvo_test::Run("READ_INT_FROM_INI_FILE", {Str(ini.c_str()), Str("s"), Str("int")}));
    r.commands.push_back(
        orvo_test::Run("READ_FLOAT_FROM_INI_FILE", {Str(ini.c_str()), Str("s"), Str("float")}));
    r.commands.push_back(
        orvo_test::Run("READ_STRING_FROM_INI_FILE", {Str(ini.c_str()), Str("s"), Str("text")}));
    r.commands.push_back(
        orvo_test::Run("WRITE_INT_TO_INI_FILE", {Int(7), Str(own.c_str()), Str("s"), Str("n")}));
    r.commands.push_back(
        orvo_test::Run("READ_INT_FROM_INI_FILE", {Str(own.c_str()), Str("s"), Str("n")}));
    if (!kTambrelBuilt) return r;
    const Ran loaded = orvo_test::Run("LOAD_DYNAMIC_LIBRARY", {Str("kernel32.dll")});
    const int32_t handle = std::stoi(loaded.outputs.at(0).substr(2));
    r.commands.push_back(loaded);
    r.commands.push_back(
        orvo_test::Run("GET_DYNAMIC_LIBRARY_PROCEDURE", {Str("GetTickCount"), Int(handle)}));
    r.commands.push_back(orvo_test::Run("FREE_DYNAMIC_LIBRARY", {Int(handle)}));
    return r;
  };

  const Round expected = round(0);
  ASSERT_TRUE(expected.fxt && expected.lines);
  const int32_t blocksBefore = TeskAllocCount();
  const HeapDelta heap;
  constexpr int kThreads = 8, kRounds = 300;
  std::vector<int> mismatches(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < kRounds; ++i)
        if (!(round(t) == expected)) ++mismatches[t];
    });
  for (std::thread& thread : threads) thread.join();
  const TeskHeapCounts used = heap.Now();
  EXPECT_EQ(mismatches, std::vector<int>(kThreads, 0));
  EXPECT_EQ(used.allocations, used.releases);
  EXPECT_EQ(TeskAllocCount() - blocksBefore, kThreads * kRounds * 2) << "one block a result";
}

// Every heap allocation of a load fails in turn, starting with the first
// failure each loader's DLL sees: the loaders throw nothing, so the C++
// runtime sets up nothing that it would keep, and each call gives null with
// its heap calls balanced and without AllocMem, until the load needs no more.
TEST_F(StressTest, LoadersSurviveEachAllocationFailing) {
  WriteFile(dir_ / "t.fxt", "b 2\r\na 1\r\n# note\r\nc \"3\"\r\n");
  // Escapes and both line ends; small enough to be read in one block.
  WriteFile(dir_ / "t.txt", "one\r\n" + std::string(200, '\x01') + "\nthree");
  const struct {
    std::string path;
    std::string json;
    int32_t fewestAllocations;  // before the load can succeed
  } cases[] = {
      {dir_ / "t.fxt", R"({"a":"1","b":"2","c":"\"3\""})", 2},  // the file's bytes, the entries
      {dir_ / "t.txt", reference::JsonArray({"one", std::string(200, '\x01'), "three"}),
       2},  // the path, the text
  };
  for (const auto& [path, json, fewestAllocations] : cases) {
    for (int32_t failing = 0;; ++failing) {
      ASSERT_LT(failing, 100) << path;
      const HeapDelta heap;
      const int32_t blocks = TeskAllocCount();
      TeskFailHeapAllocation(failing);
      const Imported imported = Import(path);
      const bool failed = TeskFailHeapAllocation(-1) == -1;
      const TeskHeapCounts used = heap.Now();
      EXPECT_EQ(used.allocations, used.releases) << path << " failing " << failing;
      if (!failed) {
        EXPECT_GE(failing, fewestAllocations) << path;
        EXPECT_EQ(imported.text, json) << path;
        break;
      }
      EXPECT_EQ(imported.text, std::nullopt) << path << " failing " << failing;
      EXPECT_EQ(TeskAllocCount(), blocks) << path << ": no AllocMem once memory ran out";
    }
  }
}

std::string Numbered(int i) {
  char text[16];
  std::snprintf(text, sizeof text, "k%07d", i);
  return text;
}

TEST_F(StressTest, LargeFilesLoad) {
  // About 64 MB of table, keys in shuffled order, every line CR LF.
  constexpr int kEntries = 1 << 20;
  const std::string value(50, 'v');
  std::string fxt, expected = "{";
  fxt.reserve(kEntries * 64);
  for (int i = 0; i < kEntries; ++i) {
    const int key = static_cast<int>((i * 2654435761u) % kEntries);
    fxt += Numbered(key) + ' ' + value + std::to_string(key % 10) + "\r\n";
  }
  for (int key = 0; key < kEntries; ++key)
    expected +=
        (key ? ",\"" : "\"") + Numbered(key) + "\":\"" + value + std::to_string(key % 10) + '"';
  expected += '}';
  WriteFile(dir_ / "big.fxt", fxt);
  fxt.clear();
  fxt.shrink_to_fit();
  const Imported table = Import(dir_ / "big.fxt");
  ASSERT_TRUE(table.text);
  EXPECT_TRUE(*table.text == expected) << "64 MB table";
  EXPECT_EQ(table.blockSize, expected.size() + 1);
  expected.clear();
  expected.shrink_to_fit();

  struct {
    const char* name;
    std::string file;
    std::string json;
  } texts[] = {
      {"64 MB of lines", {}, "["},
      {"one 16 MB line", std::string(16 << 20, 'x'), '"' + std::string(16 << 20, 'x') + "\"]"},
      {"a million empty lines", std::string(1000000, '\n'), {}},
  };
  texts[0].file.reserve(64 << 20);
  for (int i = 0; texts[0].file.size() < (64u << 20); ++i) {
    const std::string line = "line " + std::to_string(i) + " \"quoted\"";
    texts[0].file += line + "\r\n";
    texts[0].json +=
        (i ? ",\"" : "\"") + std::string("line ") + std::to_string(i) + " \\\"quoted\\\"\"";
  }
  texts[0].json += ']';
  texts[1].json = '[' + texts[1].json;
  texts[2].json = "[\"\"";
  for (int i = 1; i < 1000000; ++i) texts[2].json += ",\"\"";
  texts[2].json += ']';
  for (auto& t : texts) {
    WriteFile(dir_ / "big.txt", t.file);
    t.file.clear();
    t.file.shrink_to_fit();
    const Imported lines = Import(dir_ / "big.txt");
    ASSERT_TRUE(lines.text) << t.name;
    EXPECT_TRUE(*lines.text == t.json) << t.name;
    EXPECT_EQ(lines.blockSize, t.json.size() + 1) << t.name;
    t.json.clear();
    t.json.shrink_to_fit();
  }
}

}  // namespace
}  // namespace orvo_test
