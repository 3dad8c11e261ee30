# Cross toolchain for Windows with Debian's MinGW-w64, shared by
# mingw-w64-x86_64.cmake (64-bit) and mingw-w64-i686.cmake (32-bit), which set
# CMAKE_SYSTEM_PROCESSOR and MINGW_TRIPLET first.
#
# The "-win32" compiler flavour is chosen on purpose: its libgcc and libstdc++
# are built over Windows' own threads and carry no winpthreads dependency, so
# linking them statically always leaves KERNEL32.dll and msvcrt.dll as the only
# imports. The "-posix" flavour's runtime sits on winpthreads, which a program
# using threads or thread_local would drag in as libwinpthread-1.dll unless
# linked fully -static. (For serial-send as it is, both give the same exe.)

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${MINGW_TRIPLET}-gcc-win32)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-win32)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)

# Look for libraries and headers in the cross environment only, programs on
# the build machine only.
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
