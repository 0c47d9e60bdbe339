# systemd-analyze verify on the exporter's unit, with the program it starts taken from the build
# tree (verify insists that it exists). Any word from systemd-analyze fails: it names unknown
# keys only as warnings. An exposure of 5.0 or more fails too.
include(${CMAKE_CURRENT_LIST_DIR}/unitexposure.cmake)
file(READ ${UNIT_FILE} unit)
string(REPLACE "\nExecStart=/usr/bin/quadmeter-cli" "\nExecStart=${EXECUTABLE}" unit "${unit}")
file(REMOVE_RECURSE ${WORK_DIR})
file(WRITE ${WORK_DIR}/quadmeter-exporter.service "${unit}")
execute_process(COMMAND systemd-analyze verify --man=no ${WORK_DIR}/quadmeter-exporter.service
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(result OR NOT output STREQUAL "")
    message(FATAL_ERROR "systemd-analyze verify: ${result}\n${output}")
endif()
check_exposure(systemd-analyze ${WORK_DIR}/quadmeter-exporter.service)
