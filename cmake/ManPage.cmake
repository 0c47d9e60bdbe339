# Man pages written at build time by help2man from each program's own --help and --version, so
# they cannot drift from what the program says. Installed gzipped, as Debian wants them.
#
#   quadmeter_man_page(TARGET SECTION DESCRIPTION [HELP_OPTION])
#
# DESCRIPTION is the page's one-line summary (its NAME section, what whatis and apropos show).
# HELP_OPTION, --help unless given, is the option whose text the page is written from.
# The program must answer --help and --version without a display.
include(GNUInstallDirs)

if(UNIX AND NOT APPLE)
    find_program(HELP2MAN help2man)
    find_program(GZIP gzip)
endif()
# Instrumented builds would run the sanitizers at build time just for the pages.
if(HELP2MAN AND GZIP AND NOT QUADMETER_SANITIZE AND NOT QUADMETER_FUZZ)
    set(manpages_default ON)
else()
    set(manpages_default OFF)
endif()
option(QUADMETER_MAN_PAGES "Write and install the man pages (needs help2man)" ${manpages_default})
if(QUADMETER_MAN_PAGES AND NOT HELP2MAN)
    message(FATAL_ERROR "QUADMETER_MAN_PAGES needs help2man")
endif()

function(quadmeter_man_page target section description)
    if(NOT QUADMETER_MAN_PAGES)
        return()
    endif()
    set(page ${CMAKE_BINARY_DIR}/man/${target}.${section})
    set(help_option --help)
    if(ARGC GREATER 3)
        set(help_option ${ARGV3})
    endif()
    add_custom_command(
        OUTPUT ${page}.gz
        COMMAND ${HELP2MAN} --no-info --section=${section}
                "--name=${description}" --help-option=${help_option} --output=${page}
                $<TARGET_FILE:${target}>
        COMMAND ${GZIP} -9nf ${page}
        DEPENDS ${target}
        COMMENT "Writing the man page of ${target}"
        VERBATIM)
    add_custom_target(${target}_man_page ALL DEPENDS ${page}.gz)
    install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endfunction()
