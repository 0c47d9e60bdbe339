# Run by CPack on the staged files before it packs them: the programs lose the compiler's
# signature (.comment) and the .note section too, as Debian's own packaging strips them.
file(GLOB_RECURSE programs ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/bin/*)
foreach(program ${programs})
    execute_process(COMMAND ${CPACK_QUADMETER_STRIP} --remove-section=.comment
                            --remove-section=.note --strip-unneeded ${program}
                    RESULT_VARIABLE result)
    if(result)
        message(FATAL_ERROR "cannot strip ${program}")
    endif()
endforeach()
