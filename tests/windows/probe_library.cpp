// probe.dll: a library for the Tambrel tests to load, with procedures whose
// answers prove that an address handed back is the real one.
extern "C" __declspec(dllexport) int __cdecl ProbeAnswer() {
  return 4242;
}

// A name of 127 bytes, the longest string argument the host hands on.
extern "C" __declspec(
    dllexport) int __cdecl ProbeLongNamexxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx() {
  return 127;
}
