# 32-bit Windows: the plug-ins as the 32-bit host loads them.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(ORVO_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
