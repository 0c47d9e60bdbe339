# How much of the system a service unit leaves open, as `systemd-analyze security` rates it from the
# file alone: an exposure of 5.0 ("MEDIUM") or more fails, with systemd's list of what is open.
function(check_exposure analyze unit)
    execute_process(COMMAND ${analyze} security --offline=true --threshold=49 --no-pager ${unit}
                    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    string(REGEX MATCH "Overall exposure level for [^\n]*" level "${output}")
    if(result OR level STREQUAL "")
        message(FATAL_ERROR "systemd-analyze security: ${result}\n${output}")
    endif()
    message(STATUS "${level}")
endfunction()
