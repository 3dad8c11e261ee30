# Cross toolchain for 64-bit Windows (packages g++-mingw-w64-x86-64-win32 and
# binutils-mingw-w64-x86-64); see mingw-w64.cmake.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
