# 64-bit Windows: the plug-ins as the host's x86-64 build loads them.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(ORVO_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
