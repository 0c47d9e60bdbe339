# The logging service's unit template, as one instance, through `systemd-analyze verify`: any
# complaint about it (an unknown key, a program that is not there) fails, and so does an exposure
# of 5.0 or more.
# Run by CTest with -DANALYZE=<systemd-analyze> -DTEMPLATE=<the .service.in> -DCLI=<quadmeter-cli>
# -DWORK_DIR=<scratch folder>.
include(${CMAKE_CURRENT_LIST_DIR}/unitexposure.cmake)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
set(QUADMETER_CLI_PATH ${CLI})
set(unit ${WORK_DIR}/quadmeter-log@check.service)
configure_file(${TEMPLATE} ${unit} @ONLY)
execute_process(COMMAND ${ANALYZE} verify --man=no ${unit} RESULT_VARIABLE result
                OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(result OR NOT output STREQUAL "")
    message(FATAL_ERROR "systemd-analyze verify: ${result}\n${output}")
endif()
file(STRINGS ${unit} lines)
foreach(wanted "ExecStart=${CLI} log $QUADMETER_LOG" "SupplementaryGroups=dialout"
        "Restart=on-failure" "RestartPreventExitStatus=2" "EnvironmentFile=/etc/quadmeter/%i.conf"
        "PrivateNetwork=yes" "DeviceAllow=char-ttyACM rw")
    list(FIND lines "${wanted}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "${unit} lacks the line ${wanted}")
    endif()
endforeach()
check_exposure(${ANALYZE} ${unit})
message(STATUS "${unit} verified")
