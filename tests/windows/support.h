// Test tooling for the plug-ins in a real Windows process: files, plug-in
// loading, and the stand-in host's records as C++ values.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tesk_control.h"

namespace orvo_test {

std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);

// The directory the plug-in DLLs were built into, from the command line.
void SetDistDirectory(std::string directory);
// The file to which CheckedImport appends each JSON text that a loader gave
// whose bytes are UTF-8 (those of UTF-8 fixtures), one a line, for a strict
// parser outside this process.
void SetJsonRecordFile(std::string path);

// Tambrel is built for 32-bit Windows only.
constexpr bool kTambrelBuilt = sizeof(void*) == 4;

// A plug-in's file in this process's architecture: "Quorlet.orvo" is
// Quorlet64.orvo in an x86-64 process.
std::string PluginFileName(std::string_view name);

// A plug-in DLL loaded for one test, heap counting on; unloaded at the end.
class Plugin {
 public:
  explicit Plugin(const char* name);
  ~Plugin();
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;
  HMODULE module() const { return module_; }

 private:
  HMODULE module_;
};

// A fresh directory under the system's temporary directory, removed at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  // UTF-8 path of the directory, or of name inside it.
  const std::string& path() const { return path_; }
  std::string operator/(std::string_view name) const { return path_ + "\\" + std::string(name); }

 private:
  std::string path_;
};

void WriteFile(const std::string& path, std::string_view bytes);
std::optional<std::string> ReadFile(const std::string& path);
// The names in a directory, "." and ".." left out.
std::vector<std::string> Listing(const std::string& directory);

std::vector<std::string> Events();
std::vector<std::string> LogLines();
std::vector<std::string> Violations();

// Heap use of counted modules between construction and Check.
struct HeapDelta {
  TeskHeapCounts start;
  HeapDelta();
  TeskHeapCounts Now() const;
};

// A loader call through the stand-in host.
struct Imported {
  bool found;
  std::optional<std::string> text;  // null result: nullopt
  uint32_t blockSize;               // size asked of AllocMem, 0 when not asked
};
Imported Import(const std::string& path);
// Import, checking what every loader call must hold (failures go to the
// running test): it logs nothing, frees all it allocated, and a text result
// came from the one AllocMem call it made, of the text's length plus one.
// The text of a UTF-8 fixture goes to the JSON record file.
Imported CheckedImport(const std::string& path);

// A test against the stand-in host: its records cleared at the start, no
// breach of the host contract at the end, a temporary directory of its own.
class HostTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  TempDir dir_;
};

// A loader plug-in loaded for each test, the test's directory as the host's
// declaration directory.
class LoaderTest : public HostTest {
 protected:
  LoaderTest(const char* plugin, const char* fileName) : plugin_(plugin), fileName_(fileName) {}
  void SetUp() override;
  void TearDown() override;
  // CheckedImport's text.
  std::optional<std::string> Load(const std::string& path);
  // Writes the bytes to a file of the directory, named name or the
  // fixture's file name, and loads it.
  std::optional<std::string> LoadBytes(std::string_view bytes, const char* name = nullptr);

 private:
  const char* plugin_;
  const char* fileName_;
  std::unique_ptr<Plugin> loader_;
};

// A command call through the stand-in host, with its outputs as texts like
// the host simulator prints them ("i:42", "f:2.5", "s:text").
struct Ran {
  std::vector<std::string> outputs;
  int32_t flag;
  CommandStatus status;
  int32_t violations;
  bool operator==(const Ran&) const = default;
};
TeskValue Int(int32_t value);
TeskValue Float(float value);
TeskValue Str(const char* text);
Ran Run(const char* command, std::vector<TeskValue> inputs);

}  // namespace orvo_test
