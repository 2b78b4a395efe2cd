# orvo_plugin(NAME SOURCES... [LIBS libs...])
# Builds the plug-in DLL into dist/: NAME.orvo for 32-bit Windows, NAME64.orvo
# for x86-64. C++ runtime linked statically, nothing exported, imports only
# orvo_tesk.asi and system DLLs.
set(ORVO_DIST_DIR ${CMAKE_SOURCE_DIR}/dist CACHE PATH "Where the plug-in DLLs are collected")

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(ORVO_PLUGIN_SUFFIX 64)
else()
  set(ORVO_PLUGIN_SUFFIX "")
endif()

function(orvo_plugin name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;LIBS")
  add_library(${name} SHARED ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE orvo_sdk ${arg_LIBS})
  set_target_properties(${name} PROPERTIES
    PREFIX "" OUTPUT_NAME ${name}${ORVO_PLUGIN_SUFFIX} SUFFIX ".orvo"
    RUNTIME_OUTPUT_DIRECTORY ${ORVO_DIST_DIR}
    LIBRARY_OUTPUT_DIRECTORY ${ORVO_DIST_DIR})
  # mingw exports every symbol of a DLL unless told otherwise.
  target_link_options(${name} PRIVATE -Wl,--exclude-all-symbols $<$<CONFIG:Release>:-s>)
endfunction()
