// All Windows tests run in this one process: starting a 32-bit Windows
// process can take most of a minute where Wine runs under emulation.
//
//   windows_tests --dist=DIR [gtest flags]
#include <gtest/gtest.h>

#include <string>

#include "support.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg.rfind("--dist=", 0) != 0) continue;
    std::string dist = arg.substr(7);
    if (!dist.empty() && dist[0] == '/') dist = "Z:" + dist;  // a Linux path, through Wine's Z:
    for (char& c : dist)
      if (c == '/') c = '\\';
    orvo_test::SetDistDirectory(dist);
  }
  return RUN_ALL_TESTS();
}
