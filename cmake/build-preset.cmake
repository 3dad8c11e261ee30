# Builds another preset of this source tree from within a build, so what it
# makes is always current:
#   cmake -DPRESET=windows [-DWERROR=ON] -P cmake/build-preset.cmake
# run from the source directory. The preset is configured the first time
# (with SERIAL_SEND_WERROR=WERROR) and then only built; its build reconfigures
# itself when the CMake files change.
if(NOT EXISTS build/${PRESET}/CMakeCache.txt)
    execute_process(COMMAND ${CMAKE_COMMAND} --preset ${PRESET} -DSERIAL_SEND_WERROR=${WERROR}
                    RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "configuring the ${PRESET} preset failed")
    endif()
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build --preset ${PRESET} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "building the ${PRESET} preset failed")
endif()
