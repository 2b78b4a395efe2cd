// probe.dll: a library for the Tambrel tests to load, with procedures whose
// answers prove that an address handed back is the real one. Its start-up
// sets PROBE_STARTED in the process's environment, so a test can tell whether
// a load ran it.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) SetEnvironmentVariableW(L"PROBE_STARTED", L"1");
  return TRUE;
}

extern "C" __declspec(dllexport) int __cdecl ProbeAnswer() {
  return 4242;
}

// A name of 127 bytes, the longest string argument the host hands on.
extern "C" __declspec(
    dllexport) int __cdecl ProbeLongNamexxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx() {
  return 127;
}
