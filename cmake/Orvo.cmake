# orvo_plugin(NAME SOURCES... [LIBS libs...])
# Builds the plug-in DLL NAME.orvo into dist/: C++ runtime linked statically,
# nothing exported, imports only orvo_tesk.asi and system DLLs.
set(ORVO_DIST_DIR ${CMAKE_SOURCE_DIR}/dist CACHE PATH "Where the plug-in DLLs are collected")

function(orvo_plugin name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;LIBS")
  add_library(${name} SHARED ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE orvo_sdk ${arg_LIBS})
  set_target_properties(${name} PROPERTIES
    PREFIX "" SUFFIX ".orvo"
    RUNTIME_OUTPUT_DIRECTORY ${ORVO_DIST_DIR}
    LIBRARY_OUTPUT_DIRECTORY ${ORVO_DIST_DIR})
  if(MINGW)
    # mingw exports every symbol of a DLL unless told otherwise.
    target_link_options(${name} PRIVATE -Wl,--exclude-all-symbols
                        $<$<CONFIG:Release>:-s>)
  endif()
endfunction()
