# Cross-compilation to 64-bit Windows with the x86_64 MinGW-w64 toolchain: the
# same sources built LLP64, whose tests run under 64-bit Wine where 32-bit
# Windows programs cannot run.
set(QOR_MINGW_TRIPLE x86_64-w64-mingw32)
set(QOR_MINGW_TARGET mingw64)
include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)
