# Cross-compilation to 32-bit Windows with the i686 MinGW-w64 toolchain, the
# shipping build of the plug-in DLL.
set(QOR_MINGW_TRIPLE i686-w64-mingw32)
set(QOR_MINGW_TARGET mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)
