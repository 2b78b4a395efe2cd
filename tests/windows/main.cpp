// The Windows tests of the plug-ins; ctest runs each in a process of its own.
//
//   windows_tests --dist=DIR [--json-out=FILE] [gtest flags]
#include <gtest/gtest.h>

#include <string>

#include "support.h"
#include "value_text.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--dist=", 0) == 0)
      orvo_test::SetDistDirectory(orvo_tools::WindowsPath(arg.substr(7)));
    if (arg.rfind("--json-out=", 0) == 0)
      orvo_test::SetJsonRecordFile(orvo_tools::WindowsPath(arg.substr(11)));
  }
  return RUN_ALL_TESTS();
}
