// probe.dll: a library for the Tambrel tests to load, with one procedure whose
// answer proves that an address handed back is the real one.
extern "C" __declspec(dllexport) int __cdecl ProbeAnswer() {
  return 4242;
}
