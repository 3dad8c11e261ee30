# What `cmake --install` lays out and what cpack packs.
#
#   Linux    bin/serial-send
#            share/man/man1/serial-send.1
#            share/doc/serial-send/README.md, LICENSE
#            packed as serial-send-<version>-Linux.tar.gz and
#            serial-send_<version>_<arch>.deb (installs under /usr)
#   Windows  serial-send.exe, README.md, LICENSE side by side
#            packed as serial-send-<version>-win64.zip
#
# The Windows layout is flat: a Windows user unzips the folder and finds the
# program beside its README, and there is no bin directory on anyone's PATH to
# fill there. There is no manual page on Windows.
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
    install(FILES ${PROJECT_SOURCE_DIR}/man/serial-send.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

install(TARGETS serial-send RUNTIME DESTINATION ${serial_send_bindir})
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${serial_send_docdir})
# Checked when installing, not when configuring, so a README.md added later
# is picked up without a new configure.
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${serial_send_docdir} OPTIONAL)

set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "the serial-send developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "serial-send opens the serial port COM3 exclusively, sets it to 115200 baud,\n"
    "8 data bits, no parity and 1 stop bit, sends the single byte R (0x52),\n"
    "prints how many bytes were written and exits. On Linux, COM3 is /dev/ttyS2.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_IGNORE_FILES "/build/" "/\\\\.git/")

if(WIN32)
    set(CPACK_GENERATOR ZIP)
    # CPack's own guess says win32 for every compiler but MSVC's.
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(CPACK_SYSTEM_NAME win64)
    else()
        set(CPACK_SYSTEM_NAME win32)
    endif()
else()
    set(CPACK_GENERATOR TGZ DEB)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${SERIAL_SEND_MAINTAINER}")
    set(CPACK_DEBIAN_PACKAGE_SECTION comm)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    # A static build needs nothing; a shared one gets its libraries listed.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

include(CPack)
