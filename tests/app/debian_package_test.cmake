# cpack -G DEB of the build in BUILD_DIR, in WORK_DIR: the package must hold both programs and
# their man pages below /usr and depend on nothing beyond the C and C++ runtime.
file(REMOVE_RECURSE ${WORK_DIR})
execute_process(COMMAND ${CPACK} -G DEB --config ${BUILD_DIR}/CPackConfig.cmake -B ${WORK_DIR}
    RESULT_VARIABLE failed OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(failed)
    message(FATAL_ERROR "cpack failed:\n${output}")
endif()
file(GLOB packages ${WORK_DIR}/kolvane_*.deb)
list(LENGTH packages count)
if(NOT count EQUAL 1)
    message(FATAL_ERROR "expected one kolvane_*.deb in ${WORK_DIR}, found: ${packages}")
endif()

execute_process(COMMAND dpkg-deb -c ${packages} OUTPUT_VARIABLE contents COMMAND_ERROR_IS_FATAL ANY)
foreach(file usr/bin/kolvane usr/bin/kolvane-check usr/bin/kolvane-remove usr/share/man/man1/kolvane.1.gz
             usr/share/man/man1/kolvane-check.1.gz usr/share/man/man1/kolvane-remove.1.gz)
    if(NOT contents MATCHES " \\./${file}\n")
        message(FATAL_ERROR "${file} is missing from the package:\n${contents}")
    endif()
endforeach()

execute_process(COMMAND dpkg-deb -f ${packages} Package Section Depends
    OUTPUT_VARIABLE fields COMMAND_ERROR_IS_FATAL ANY)
if(NOT fields MATCHES "Package: kolvane\nSection: games\nDepends: ([^\n]+)\n")
    message(FATAL_ERROR "unexpected control fields:\n${fields}")
endif()
string(REGEX REPLACE " \\([^)]*\\)" "" depends "${CMAKE_MATCH_1}")
string(REPLACE ", " ";" depends "${depends}")
list(REMOVE_ITEM depends libc6 libgcc-s1 libstdc++6)
if(NOT depends STREQUAL "")
    message(FATAL_ERROR "dependencies beyond the C and C++ runtime: ${depends}\n${fields}")
endif()
get_filename_component(name ${packages} NAME)
message(STATUS "${name} holds both programs and their man pages:\n${fields}")
file(REMOVE_RECURSE ${WORK_DIR})
