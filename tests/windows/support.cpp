#include "support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <stdexcept>

#include "utf8.h"
#include "value_text.h"

namespace orvo_test {
namespace {

std::string gDist;
std::string gJsonRecord;

std::vector<std::string> List(int32_t (*count)(), const char* (*item)(int32_t)) {
  std::vector<std::string> items;
  for (int32_t i = 0; i < count(); ++i) items.emplace_back(item(i));
  return items;
}

void RemoveTree(const std::wstring& directory) {
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW((directory + L"\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = directory + L"\\" + name;
      SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(path);
      else
        DeleteFileW(path.c_str());
    } while (FindNextFileW(find, &entry));
    FindClose(find);
  }
  RemoveDirectoryW(directory.c_str());
}

void AppendLineAlone(const std::string& path, const std::string& line) {
  HANDLE file =
      CreateFileW(Wide(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + path);
  const std::string bytes = line + '\n';
  DWORD written = 0;
  const BOOL ok =
      ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  if (!ok || written != bytes.size()) throw std::runtime_error("cannot write " + path);
}

// Tests in other processes append to the same file at the same time, and
// Wine does not keep two appends apart (one long text was seen cut by
// another): a mutex that all of them share keeps each line whole.
void AppendLine(const std::string& path, const std::string& line) {
  const auto release = [](HANDLE held) {
    ReleaseMutex(held);
    CloseHandle(held);
  };
  const HANDLE mutex = CreateMutexW(nullptr, FALSE, L"Local\\orvo-tests-json-record");
  if (mutex == nullptr) throw std::runtime_error("cannot create the record's mutex");
  WaitForSingleObject(mutex, INFINITE);
  const std::unique_ptr<void, decltype(release)> held(mutex, release);
  AppendLineAlone(path, line);
}

// The loaders pass every byte from 0x80 up through unchanged, so the text is
// UTF-8 exactly when the fixture's bytes were (up to where Linvar stops); the
// fixture itself, which may be gigabytes of sparse file, is not read again.
void RecordJson(const std::string& text) {
  if (!gJsonRecord.empty() && IsValidUtf8(text)) AppendLine(gJsonRecord, text);
}

}  // namespace

std::wstring Wide(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(n, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
  return wide;
}

std::string Utf8(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr,
                                    0, nullptr, nullptr);
  std::string utf8(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), n,
                      nullptr, nullptr);
  return utf8;
}

std::string PluginFileName(std::string_view name) {
  if constexpr (sizeof(void*) == 4) return std::string(name);
  const std::size_t dot = name.rfind('.');
  return std::string(name.substr(0, dot)) + "64" + std::string(name.substr(dot));
}

void SetDistDirectory(std::string directory) {
  gDist = std::move(directory);
}

void SetJsonRecordFile(std::string path) {
  gJsonRecord = std::move(path);
}

Plugin::Plugin(const char* name) {
  const std::string file = gDist + "\\" + PluginFileName(name);
  module_ = LoadLibraryW(Wide(file).c_str());
  if (module_ == nullptr) throw std::runtime_error("cannot load " + file);
  TeskCountHeap(module_);
}

Plugin::~Plugin() {
  FreeLibrary(module_);
}

TempDir::TempDir() {
  static int serial = 0;
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  for (;;) {
    const std::wstring candidate = std::wstring(temp) + L"orvo-test-" +
                                   std::to_wstring(GetCurrentProcessId()) + L"-" +
                                   std::to_wstring(++serial);
    if (CreateDirectoryW(candidate.c_str(), nullptr)) {
      path_ = Utf8(candidate);
      return;
    }
  }
}

TempDir::~TempDir() {
  RemoveTree(Wide(path_));
}

void WriteFile(const std::string& path, std::string_view bytes) {
  HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot create " + path);
  DWORD written = 0;
  const BOOL ok =
      ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  if (!ok || written != bytes.size()) throw std::runtime_error("cannot write " + path);
}

std::optional<std::string> ReadFile(const std::string& path) {
  HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  std::string content;
  char chunk[65536];
  DWORD read = 0;
  while (::ReadFile(file, chunk, sizeof chunk, &read, nullptr) && read > 0)
    content.append(chunk, read);
  CloseHandle(file);
  return content;
}

std::vector<std::string> Listing(const std::string& directory) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW(Wide(directory + "\\*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = Utf8(entry.cFileName);
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileW(find, &entry));
  FindClose(find);
  return names;
}

std::vector<std::string> Events() {
  return List(TeskEventCount, TeskEvent);
}
std::vector<std::string> LogLines() {
  return List(TeskLogCount, TeskLogLine);
}
std::vector<std::string> Violations() {
  return List(TeskViolationCount, TeskViolation);
}

HeapDelta::HeapDelta() {
  TeskGetHeapCounts(&start);
}

TeskHeapCounts HeapDelta::Now() const {
  TeskHeapCounts now;
  TeskGetHeapCounts(&now);
  return {now.allocations - start.allocations, now.releases - start.releases};
}

Imported Import(const std::string& path) {
  const int32_t blocksBefore = TeskAllocCount();
  int32_t found = 0;
  const char* text = TeskImport(path.c_str(), &found);
  Imported imported{found != 0, std::nullopt, 0};
  if (text != nullptr) imported.text = text;
  if (TeskAllocCount() > blocksBefore) imported.blockSize = TeskAllocSize(TeskAllocCount() - 1);
  return imported;
}

Imported CheckedImport(const std::string& path) {
  const HeapDelta heap;
  const int32_t logBefore = TeskLogCount();
  const int32_t eventsBefore = TeskEventCount();
  const Imported imported = Import(path);
  const TeskHeapCounts used = heap.Now();
  EXPECT_TRUE(imported.found) << path;
  EXPECT_EQ(used.allocations, used.releases) << path;
  EXPECT_EQ(TeskLogCount(), logBefore) << "a loader logs nothing";
  if (imported.text) {
    EXPECT_EQ(imported.blockSize, imported.text->size() + 1) << path;
    EXPECT_EQ(TeskEventCount(), eventsBefore + 1) << path;
    EXPECT_EQ(TeskEvent(eventsBefore), "alloc:" + std::to_string(imported.text->size() + 1));
    RecordJson(*imported.text);
  }
  return imported;
}

void HostTest::SetUp() {
  TeskReset();
}

void HostTest::TearDown() {
  EXPECT_EQ(Violations(), std::vector<std::string>{});
}

void LoaderTest::SetUp() {
  HostTest::SetUp();
  TeskSetDirectory(dir_.path().c_str());
  loader_ = std::make_unique<Plugin>(plugin_);
}

void LoaderTest::TearDown() {
  HostTest::TearDown();
  loader_.reset();
}

std::optional<std::string> LoaderTest::Load(const std::string& path) {
  return CheckedImport(path).text;
}

std::optional<std::string> LoaderTest::LoadBytes(std::string_view bytes, const char* name) {
  const std::string path = dir_ / (name != nullptr ? name : fileName_);
  WriteFile(path, bytes);
  return Load(path);
}

TeskValue Int(int32_t value) {
  return {'i', value, 0.0f, nullptr};
}
TeskValue Float(float value) {
  return {'f', 0, value, nullptr};
}
TeskValue Str(const char* text) {
  return {'s', 0, 0.0f, text};
}

Ran Run(const char* command, std::vector<TeskValue> inputs) {
  static thread_local TeskOutcome outcome;
  TeskRunCommand(command, inputs.data(), static_cast<int32_t>(inputs.size()), &outcome);
  if (!outcome.found) throw std::runtime_error(std::string("no command ") + command);
  Ran ran{{}, outcome.flag, outcome.status, outcome.violations};
  for (int32_t i = 0; i < outcome.outputCount; ++i)
    ran.outputs.push_back(orvo_tools::ValueText(outcome.outputs[i]));
  return ran;
}

}  // namespace orvo_test
