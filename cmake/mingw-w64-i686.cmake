# Cross toolchain for 32-bit Windows (packages g++-mingw-w64-i686-win32 and
# binutils-mingw-w64-i686); see mingw-w64.cmake.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
