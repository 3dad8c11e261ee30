# serial_send_pentium(TARGET): the 32-bit Windows console program TARGET as
# code a Pentium (i586) runs, start-up included, for the reasons
# docs/building.md gives: compiled with -march=i586, started from
# win/startup.c (which hands main no arguments) instead of MinGW-w64's
# start-up, printing through msvcrt's own printf family rather than MinGW's
# C99 one (libmingwex, built for the Pentium Pro too), and with no run-time
# relocation, so that a DLL's data used without dllimport fails the link
# with the name of the symbol. The 32-bit serial-send.exe (windows.cmake)
# and the programs the reactos suite runs beside it (tests/reactos/guest)
# are built so, from this one definition.
enable_language(C)

function(serial_send_pentium target)
    target_sources(${target} PRIVATE ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../win/startup.c)
    target_compile_definitions(${target} PRIVATE __USE_MINGW_ANSI_STDIO=0)
    target_compile_options(${target} PRIVATE -march=i586)
    target_link_options(${target} PRIVATE -nostartfiles -Wl,--disable-auto-import)
endfunction()
