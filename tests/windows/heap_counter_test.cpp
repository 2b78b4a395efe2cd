// The stand-in host's count of the heap bytes a plug-in holds, which the
// benchmark reads for the peak of one call.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tesk_control.h"

namespace orvo_test {
namespace {

// faulty.orvo, built next to this program.
std::wstring FaultyPluginPath() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring directory(path, length);
  return directory.substr(0, directory.find_last_of(L'\\') + 1) + L"faulty.orvo";
}

TEST(HeapCounterTest, BytesHeldReturnToTheStartAndTheirPeakIsTheMostHeldAtOnce) {
  TeskReset();
  const HMODULE faulty = LoadLibraryW(FaultyPluginPath().c_str());
  ASSERT_NE(faulty, nullptr);
  TeskCountHeap(faulty);
  TeskHeapBytes before;
  TeskResetHeapPeak();
  TeskGetHeapBytes(&before);
  TeskOutcome outcome;
  TeskRunCommand("HOLD_AND_FREE", nullptr, 0, &outcome);
  TeskHeapBytes after;
  TeskGetHeapBytes(&after);
  FreeLibrary(faulty);
  ASSERT_EQ(outcome.found, 1);
  EXPECT_EQ(after.live, before.live);
  EXPECT_EQ(after.peak - before.live, 14000);
}

}  // namespace
}  // namespace orvo_test
