# Cross-compilation to Windows with a MinGW-w64 toolchain (the POSIX-threads
# variant, which std::thread and std::mutex need). Included by the thin
# toolchain files mingw32.cmake and mingw64.cmake, which set
#   QOR_MINGW_TRIPLE   i686-w64-mingw32 or x86_64-w64-mingw32
#   QOR_MINGW_TARGET   mingw32 or mingw64 (the folder under build/deps)
# libyaml for the target is staged under QOR_MINGW_DEPS by
# scripts/build-mingw-libyaml.
if(NOT QOR_MINGW_TRIPLE OR NOT QOR_MINGW_TARGET)
  message(FATAL_ERROR "MingwToolchain.cmake: include it from cmake/mingw32.cmake or cmake/mingw64.cmake")
endif()
set(CMAKE_SYSTEM_NAME Windows)
string(REGEX REPLACE "-.*" "" CMAKE_SYSTEM_PROCESSOR ${QOR_MINGW_TRIPLE})

set(CMAKE_C_COMPILER ${QOR_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QOR_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QOR_MINGW_TRIPLE}-windres)

if(NOT QOR_MINGW_DEPS)
  set(QOR_MINGW_DEPS ${CMAKE_CURRENT_LIST_DIR}/../build/deps/${QOR_MINGW_TARGET})
endif()
get_filename_component(QOR_MINGW_DEPS ${QOR_MINGW_DEPS} ABSOLUTE)
set(QOR_MINGW_DEPS ${QOR_MINGW_DEPS} CACHE PATH "Staged target libraries for the MinGW build")

set(CMAKE_FIND_ROOT_PATH /usr/${QOR_MINGW_TRIPLE} ${QOR_MINGW_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The staged headers (libyaml, and the RapidJSON link) reach every target.
set(CMAKE_C_STANDARD_INCLUDE_DIRECTORIES ${QOR_MINGW_DEPS}/include)
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES ${QOR_MINGW_DEPS}/include)

# pkg-config sees only the staged target libraries, never the build machine's.
set(ENV{PKG_CONFIG_LIBDIR} ${QOR_MINGW_DEPS}/lib/pkgconfig)
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
set(ENV{PKG_CONFIG_PATH} "")

# No MinGW runtime DLL is needed next to the plug-in or the test programs:
# libgcc, libstdc++ and winpthread are linked in statically. The PE header's
# time stamp stays zero, so that the same sources link to the same bytes
# (the release archives are reproducible).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -Wl,--no-insert-timestamp")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp")

# Test programs run under Wine when it is installed (the 64-bit loader for the
# 64-bit build; Debian's `wine` starts the 32-bit one); test discovery waits
# for ctest so that building never needs Wine.
if(QOR_MINGW_TARGET STREQUAL mingw64)
  find_program(QOR_WINE NAMES wine64 wine64-stable PATHS /usr/lib/wine NO_DEFAULT_PATH)
  find_program(QOR_WINE NAMES wine64 wine64-stable)
else()
  find_program(QOR_WINE NAMES wine wine-stable)
endif()
if(QOR_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QOR_WINE})
endif()
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
