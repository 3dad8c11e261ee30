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

set(SERIAL_SEND_MANIFEST ${CMAKE_CURRENT_SOURCE_DIR}/win/serial-send.manifest)
configure_file(win/serial-send.rc.in serial-send.rc @ONLY)
target_sources(serial-send PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/serial-send.rc)
# windres reads the manifest while compiling the script.
set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/serial-send.rc PROPERTIES OBJECT_DEPENDS
                            ${SERIAL_SEND_MANIFEST})
