# Windows, cross-built with mingw-w64 for the triple that the including
# toolchain file sets in ORVO_MINGW_TRIPLE. The -posix compilers carry
# std::thread and std::mutex, which the test tooling needs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${ORVO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORVO_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ORVO_MINGW_TRIPLE}-windres)
set(CMAKE_DLLTOOL ${ORVO_MINGW_TRIPLE}-dlltool)
set(CMAKE_FIND_ROOT_PATH /usr/${ORVO_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Test programs run under Wine; winrun picks the route by the program's machine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/winrun)
