# orvo_plugin(NAME VERSION X.Y DESCRIPTION TEXT SOURCES... [LIBS libs...])
# Builds the plug-in DLL into dist/: NAME.orvo for 32-bit Windows, NAME64.orvo
# for x86-64. C++ runtime linked statically, nothing exported, imports only
# orvo_tesk.asi and system DLLs. VERSION is the one statement of the plug-in's
# version: the code gets it as the string ORVO_PLUGIN_VERSION for its banner,
# and the DLL's version resource as its file and product version (1.2 becomes
# 1.2.0.0). The build is reproducible: no link timestamp, nothing that depends
# on the build directory.
set(ORVO_DIST_DIR ${CMAKE_SOURCE_DIR}/dist CACHE PATH "Where the plug-in DLLs are collected")
set(ORVO_CMAKE_DIR ${CMAKE_CURRENT_LIST_DIR})
if(WIN32)
  enable_language(RC)
endif()

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(ORVO_PLUGIN_SUFFIX 64)
else()
  set(ORVO_PLUGIN_SUFFIX "")
endif()

function(orvo_plugin name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "VERSION;DESCRIPTION" "SOURCES;LIBS")
  add_library(${name} SHARED ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE orvo_sdk ${arg_LIBS})
  set_target_properties(${name} PROPERTIES
    PREFIX "" OUTPUT_NAME ${name}${ORVO_PLUGIN_SUFFIX} SUFFIX ".orvo"
    RUNTIME_OUTPUT_DIRECTORY ${ORVO_DIST_DIR}
    LIBRARY_OUTPUT_DIRECTORY ${ORVO_DIST_DIR})

  target_compile_definitions(${name} PRIVATE ORVO_PLUGIN_VERSION="${arg_VERSION}")
  string(REPLACE "." ";" parts ${arg_VERSION})
  list(LENGTH parts count)
  while(count LESS 4)
    list(APPEND parts 0)
    math(EXPR count "${count} + 1")
  endwhile()
  set(ORVO_NAME ${name})
  set(ORVO_DESCRIPTION ${arg_DESCRIPTION})
  list(JOIN parts "," ORVO_VERSION_COMMAS)
  list(JOIN parts "." ORVO_VERSION_DOTS)
  # Names in the resource come from the target's actual output file name.
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${name}_version.rc)
  configure_file(${ORVO_CMAKE_DIR}/version.rc.in ${rc}.in @ONLY)
  file(GENERATE OUTPUT ${rc} INPUT ${rc}.in TARGET ${name})
  target_sources(${name} PRIVATE ${rc})

  # mingw exports every symbol of a DLL unless told otherwise; it would also
  # stamp the link time and derive the image base from the output path.
  target_link_options(${name} PRIVATE -Wl,--exclude-all-symbols -Wl,--no-insert-timestamp
                      -Wl,--disable-auto-image-base $<$<CONFIG:Release>:-s>)
endfunction()
