# Run by cpack (CPACK_PRE_BUILD_SCRIPTS) on the files staged for the Debian
# package, before it packs them. What Debian asks of a package:
#   usr/bin/serial-send                     stripped
#   usr/share/man/man1/serial-send.1.gz     the manual page, compressed
#   usr/share/doc/serial-send/copyright     LICENSE in Debian's machine-readable
#                                           form (in place of LICENSE itself)
#   usr/share/doc/serial-send/changelog.gz  one entry, for this version
# and the same bytes from every build of the same commit: cpack writes
# SOURCE_DATE_EPOCH as the time of every file, and so does the changelog. When
# the caller has not set it, it is the time of the commit the source is at.

if(NOT CPACK_GENERATOR STREQUAL "DEB")
    return()
endif()

if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
    execute_process(COMMAND git -C ${CPACK_SERIAL_SEND_SOURCE_DIR} log -1 --format=%ct
                    OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed
                    ERROR_QUIET)
    if(failed OR epoch STREQUAL "")
        message(FATAL_ERROR "${CPACK_SERIAL_SEND_SOURCE_DIR} is not a git checkout: "
                            "set SOURCE_DATE_EPOCH to the time the package is to carry")
    endif()
    set(ENV{SOURCE_DATE_EPOCH} ${epoch})
endif()

set(root ${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX})
set(doc ${root}/share/doc/${CPACK_PACKAGE_NAME})

# run COMMAND...: runs COMMAND, and stops cpack when it fails.
function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "${ARGN} failed")
    endif()
endfunction()

# Stripped as dh_strip strips a program.
run(${CPACK_SERIAL_SEND_STRIP} --remove-section=.comment --remove-section=.note
    ${root}/bin/${CPACK_PACKAGE_NAME})
# gzip -9n: best compression, no file name or time in the header.
run(gzip -9nf ${root}/share/man/man1/${CPACK_PACKAGE_NAME}.1)

# LICENSE is "MIT License", its copyright line, then the text of the license,
# which Debian names Expat.
file(READ ${CPACK_SERIAL_SEND_SOURCE_DIR}/LICENSE license)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" _ "${license}")
set(holder ${CMAKE_MATCH_1})
string(FIND "${license}" "Permission is hereby granted" start)
string(SUBSTRING "${license}" ${start} -1 text)
string(STRIP "${text}" text)
string(REPLACE "\n\n" "\n.\n" text "${text}")
string(REPLACE "\n" "\n " text "${text}")
file(WRITE ${doc}/copyright "\
Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: ${CPACK_PACKAGE_NAME}

Files: *
Copyright: ${holder}
License: Expat
 ${text}
")
file(REMOVE ${doc}/LICENSE)

string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE ${doc}/changelog "\
${CPACK_PACKAGE_NAME} (${CPACK_PACKAGE_VERSION}) unstable; urgency=medium

  * Release ${CPACK_PACKAGE_VERSION}.

 -- ${CPACK_DEBIAN_PACKAGE_MAINTAINER}  ${date}
")
run(gzip -9nf ${doc}/changelog)
