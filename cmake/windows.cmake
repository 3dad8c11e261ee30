# Windows specifics of serial-send.exe: a console program over the real
# kernel32, self-contained (the compiler's runtimes linked in), with its
# manifest and version information as resources.

enable_language(RC)

# msvcrt's own printf: the program prints only %d and %s, which it renders
# exactly like the C99 one MinGW would otherwise link in (and that one costs
# tens of kilobytes).
target_compile_definitions(serial-send PRIVATE $<$<COMPILE_LANGUAGE:CXX>:__USE_MINGW_ANSI_STDIO=0>)

# No libgcc or libstdc++ DLLs next to the exe; strip symbols from the release.
target_link_options(serial-send PRIVATE -static-libgcc -static-libstdc++ $<$<CONFIG:Release,MinSizeRel>:-s>)

# The oldest Windows whose loader takes the exe: the subsystem version in its
# PE header. Windows XP (5.1) for the 32-bit exe; for the 64-bit one XP x64
# Edition and Server 2003 (5.2), the first Windows on x64. Every function the
# exe imports is older than that (docs/building.md).
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(serial_send_subsystem 5 2)
else()
    set(serial_send_subsystem 5 1)
endif()
list(GET serial_send_subsystem 0 major)
list(GET serial_send_subsystem 1 minor)
# No link time in the header either (it reads 0), so that the same source
# always links to the same bytes.
target_link_options(serial-send PRIVATE -Wl,--major-subsystem-version,${major}
                    -Wl,--minor-subsystem-version,${minor} -Wl,--no-insert-timestamp)

# The oldest CPU: any x86-64 one for the 64-bit exe; for the 32-bit one any
# Pentium (i586), the oldest CPU Windows XP runs on (cmake/pentium.cmake).
if(NOT CMAKE_SIZEOF_VOID_P EQUAL 8)
    include(cmake/pentium.cmake)
    serial_send_pentium(serial-send)
endif()

set(SERIAL_SEND_MANIFEST ${CMAKE_CURRENT_SOURCE_DIR}/win/serial-send.manifest)
configure_file(win/serial-send.rc.in serial-send.rc @ONLY)
target_sources(serial-send PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/serial-send.rc)
# windres reads the manifest while compiling the script.
set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/serial-send.rc PROPERTIES OBJECT_DEPENDS
                            ${SERIAL_SEND_MANIFEST})
