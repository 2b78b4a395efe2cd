// The second process of the test of two Kesmet writers on one file:
//
//   kesmet_writer PLUGIN FILE PREFIX COUNT READY GO
//
// loads the stand-in host and the Kesmet DLL PLUGIN, sets the named event
// READY, waits for the named event GO, then writes the integers 0 to COUNT-1
// under the keys PREFIX0, PREFIX1, ... to section s of FILE. Exit status: the
// number of writes that did not give flag 1, or -1 when it could not start.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "tesk_control.h"

namespace {

std::string Utf8(const wchar_t* text) {
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string utf8(bytes, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), bytes, nullptr, nullptr);
  utf8.pop_back();
  return utf8;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 7 || LoadLibraryW(argv[1]) == nullptr) return -1;
  const std::string file = Utf8(argv[2]);
  const std::string prefix = Utf8(argv[3]);
  const int count = std::wcstol(argv[4], nullptr, 10);
  const HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[5]);
  const HANDLE go = OpenEventW(SYNCHRONIZE, FALSE, argv[6]);
  if (ready == nullptr || go == nullptr || !SetEvent(ready) ||
      WaitForSingleObject(go, INFINITE) != WAIT_OBJECT_0)
    return -1;
  int failed = 0;
  for (int i = 0; i < count; ++i) {
    const std::string key = prefix + std::to_string(i);
    const TeskValue inputs[] = {{'i', i, 0, nullptr},
                                {'s', 0, 0, file.c_str()},
                                {'s', 0, 0, "s"},
                                {'s', 0, 0, key.c_str()}};
    TeskOutcome outcome;
    TeskRunCommand("WRITE_INT_TO_INI_FILE", inputs, 4, &outcome);
    if (outcome.flag != 1) ++failed;
  }
  return failed;
}
