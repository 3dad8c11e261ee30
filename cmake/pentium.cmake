# serial_send_pentium(TARGET): the 32-bit Windows console program TARGET
# runs on any Pentium (i586), the oldest CPU Windows XP runs on. Its code is
# compiled for the Pentium (the compiler's own default is the Pentium Pro,
# whose CMOV a Pentium lacks), and it starts from win/startup.c instead of
# MinGW-w64's start-up code, which is built for the Pentium Pro. That
# start-up hands main no arguments and does none of MinGW's run-time
# relocation: a DLL's data used without dllimport, which would need it,
# fails the link with the name of the symbol. It prints through msvcrt's own
# printf family: MinGW's C99 one (libmingwex) is built for the Pentium Pro
# too.
#
# The 32-bit serial-send.exe is built so (cmake/windows.cmake), and so are
# the programs the reactos suite runs beside it on an emulated Pentium
# (tests/reactos/guest), from this one definition.
enable_language(C)

function(serial_send_pentium target)
    target_sources(${target} PRIVATE ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../win/startup.c)
    target_compile_definitions(${target} PRIVATE __USE_MINGW_ANSI_STDIO=0)
    target_compile_options(${target} PRIVATE -march=i586)
    target_link_options(${target} PRIVATE -nostartfiles -Wl,--disable-auto-import)
endfunction()
