# qor_add_plugin: a plug-in library built on the framework.
#
#   qor_add_plugin(qor_greeter EXPORT load_qor_greeter
#                  DESCRIPTION "Example greeter plug-in"
#                  SOURCES GreeterPlugin.cpp GreeterExport.cpp
#                  LIBRARIES qor_runtime)
#
# makes the shared library (libqor_greeter.so, qor_greeter.dll) with the
# allocation hooks behind GetMemoryStats and the Windows load hook, and an
# export table that holds the one entry point alone (a version script on
# Linux, a .def file on Windows, both written from the EXPORT name). The C
# allocator's calls go through the hooks (--wrap). The export itself is the
# one-line QOR_PLUGIN_EXPORT of plugin/PluginExport.h. A Windows DLL also
# carries a version resource (cmake/PluginVersion.rc.in: the project's
# version, names and copyright, and DESCRIPTION as its FileDescription).
function(qor_add_plugin target)
  cmake_parse_arguments(PARSE_ARGV 1 QP "" "EXPORT;DESCRIPTION" "SOURCES;LIBRARIES")
  if(NOT QP_EXPORT)
    message(FATAL_ERROR "qor_add_plugin(${target}): EXPORT names the entry point")
  endif()
  add_library(${target} SHARED ${QP_SOURCES} $<TARGET_OBJECTS:qor_plugin_support>)
  target_link_libraries(${target} PRIVATE ${QP_LIBRARIES})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/include)

  set(QOR_PLUGIN_EXPORT_NAME ${QP_EXPORT})
  set(QOR_PLUGIN_LIBRARY_NAME ${target})
  set(_wrap -Wl,--wrap=malloc,--wrap=calloc,--wrap=realloc,--wrap=free,--wrap=strdup)
  if(NOT WIN32)
    set(_map ${CMAKE_CURRENT_BINARY_DIR}/${target}.exports.map)
    configure_file(${PROJECT_SOURCE_DIR}/src/plugin/exports.map.in ${_map} @ONLY)
    target_link_options(${target} PRIVATE -Wl,--version-script=${_map} -Wl,--no-undefined ${_wrap})
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${_map})
  else()
    set(_def ${CMAKE_CURRENT_BINARY_DIR}/${target}.exports.def)
    configure_file(${PROJECT_SOURCE_DIR}/src/plugin/exports.def.in ${_def} @ONLY)
    # The export table holds the entry point alone, named as written.
    set_target_properties(${target} PROPERTIES PREFIX "")
    target_link_options(${target} PRIVATE ${_def} -Wl,--exclude-all-symbols -Wl,--kill-at ${_wrap})
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${_def})

    set(QOR_PLUGIN_DESCRIPTION "${QP_DESCRIPTION}")
    if(NOT QOR_PLUGIN_DESCRIPTION)
      set(QOR_PLUGIN_DESCRIPTION "${target} plug-in")
    endif()
    set(QOR_PLUGIN_FILE_NAME ${target}${CMAKE_SHARED_LIBRARY_SUFFIX})
    set(_rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.version.rc)
    configure_file(${PROJECT_SOURCE_DIR}/cmake/PluginVersion.rc.in ${_rc} @ONLY)
    target_sources(${target} PRIVATE ${_rc})
  endif()
endfunction()
