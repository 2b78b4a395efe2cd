// Texts shared by the host simulator and the Windows tests: a command's
// values as the simulator prints them, and Linux paths as Wine names them.
#pragma once

#include <string>

#include "tesk_control.h"

namespace orvo_tools {

// "i:42", "f:2.5" (shortest text that reads back as the same float), "s:text".
std::string ValueText(const TeskValue& value);

// A Linux absolute path names the same file through Wine's Z: drive; any
// other path is returned unchanged.
std::string WindowsPath(std::string path);

}  // namespace orvo_tools
