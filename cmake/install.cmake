# What `cmake --install` lays out, which scripts/lib/pack.sh packs (run by
# scripts/package): on Linux under bin/ and share/, as the .tar.gz holds it,
# and by cpack as the .deb, under /usr; on Windows flat, as the .zip files
# hold it. docs/releasing.md says what each archive holds and why the Windows
# one is flat; README.md says why the .deb's program is linked dynamically
# and the tarball's statically. There is no manual page on Windows.
#
# Versions come from the project version, as the Windows version resource does.

include(GNUInstallDirs)

set(SERIAL_SEND_MAINTAINER "the serial-send developers"
    CACHE STRING "Maintainer named in the Debian package")

if(WIN32)
    set(serial_send_bindir .)
    set(serial_send_docdir .)
else()
    set(serial_send_bindir ${CMAKE_INSTALL_BINDIR})
    set(serial_send_docdir ${CMAKE_INSTALL_DOCDIR})
    install(FILES ${PROJECT_SOURCE_DIR}/man/serial-send.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
            COMPONENT doc)
endif()

install(TARGETS serial-send RUNTIME DESTINATION ${serial_send_bindir} COMPONENT program)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/README.md
        DESTINATION ${serial_send_docdir} COMPONENT doc)

if(WIN32)
    return()
endif()

# The Debian package, made by cpack: the documents and, in place of the static
# program, the one linked dynamically, as the component deb, which a plain
# `cmake --install` leaves out; debian.cmake strips it.
if(SERIAL_SEND_STATIC)
    set(deb_program serial-send-dynamic)
else()
    set(deb_program serial-send)
endif()
install(PROGRAMS $<TARGET_FILE:${deb_program}> DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME serial-send
        COMPONENT deb EXCLUDE_FROM_ALL)
set(CPACK_INSTALL_CMAKE_PROJECTS ${PROJECT_BINARY_DIR} ${PROJECT_NAME} deb /
                                 ${PROJECT_BINARY_DIR} ${PROJECT_NAME} doc /)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "the serial-send developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "serial-send opens the serial port COM3 exclusively, sets it to 115200 baud,\n"
    "8 data bits, no parity and 1 stop bit, sends the single byte R (0x52),\n"
    "prints how many bytes were written and exits. On Linux, COM3 is /dev/ttyS2.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_SOURCE_IGNORE_FILES "/build/" "/\\\\.git/")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${SERIAL_SEND_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends: the libraries the program links, as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Run by cpack on the staged files: the times, the stripped program, the
# copyright file, the changelog, the compressed manual page.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/debian.cmake)
set(CPACK_SERIAL_SEND_SOURCE_DIR ${PROJECT_SOURCE_DIR})
set(CPACK_SERIAL_SEND_STRIP ${CMAKE_STRIP})

include(CPack)
