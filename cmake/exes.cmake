# Both Windows exes, built by the Linux tree beside its own program: each is
# the build of its preset (windows, windows-x86 in CMakePresets.json), made
# from the current source in <this build>/<preset> (target <preset>-exe,
# built every time; a failed build of it fails this build). They are the exes
# the suites run (tests/wine, tests/reactos) and the ones scripts/package
# packs, so what ships is what was tested. Without MinGW-w64 there is no exe,
# and the suites that need one fail.
include(ExternalProject)

foreach(entry windows:x86_64-w64-mingw32 windows-x86:i686-w64-mingw32)
    string(REPLACE ":" ";" entry ${entry})
    list(GET entry 0 preset)
    list(GET entry 1 triplet)
    find_program(SERIAL_SEND_MINGW_${preset} ${triplet}-g++-win32 DOC "MinGW-w64 for the ${preset} preset")
    if(SERIAL_SEND_MINGW_${preset})
        ExternalProject_Add(${preset}-exe
            SOURCE_DIR ${PROJECT_SOURCE_DIR}
            BINARY_DIR ${PROJECT_BINARY_DIR}/${preset}
            PREFIX ${PROJECT_BINARY_DIR}/${preset}-exe
            CONFIGURE_COMMAND ${CMAKE_COMMAND} --fresh -S <SOURCE_DIR> -B <BINARY_DIR>
                              --preset ${preset} -DSERIAL_SEND_WERROR=${SERIAL_SEND_WERROR}
            BUILD_ALWAYS ON
            BUILD_BYPRODUCTS ${PROJECT_BINARY_DIR}/${preset}/serial-send.exe
            INSTALL_COMMAND "")
        # Configured afresh whenever the presets change, so that the exe is
        # always its preset's as written.
        ExternalProject_Add_StepDependencies(${preset}-exe configure
                                             ${PROJECT_SOURCE_DIR}/CMakePresets.json)
    else()
        message(STATUS "${triplet}-g++-win32 not found: the ${preset} exe cannot be built "
                       "(scripts/lib/packages.sh installs MinGW-w64)")
    endif()
endforeach()
