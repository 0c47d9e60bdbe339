# The Debian package holds what `cmake --install` installs, under /usr.
# Run by CTest with -DBUILD_DIR=<build tree> -DWORK_DIR=<scratch folder> -DMAN_PAGES=<ON when the
# build writes man pages>.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK_DIR}/root
                RESULT_VARIABLE result OUTPUT_QUIET)
if(result)
    message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
file(GLOB_RECURSE installed RELATIVE ${WORK_DIR}/root ${WORK_DIR}/root/*)
list(LENGTH installed count)
if(count LESS 6)
    message(FATAL_ERROR "cmake --install installed only: ${installed}")
endif()

execute_process(COMMAND cpack -G DEB --config ${BUILD_DIR}/CPackConfig.cmake -B ${WORK_DIR}/pkg
                RESULT_VARIABLE result OUTPUT_VARIABLE cpack_output ERROR_VARIABLE cpack_output)
if(result)
    message(FATAL_ERROR "cpack failed: ${cpack_output}")
endif()
file(GLOB packages ${WORK_DIR}/pkg/*.deb)
execute_process(COMMAND dpkg-deb -c ${packages} OUTPUT_VARIABLE listing RESULT_VARIABLE result)
if(result)
    message(FATAL_ERROR "dpkg-deb cannot read ${packages}")
endif()

# dpkg-shlibdeps computed what the programs need, down to the C library.
execute_process(COMMAND dpkg-deb --field ${packages} Depends OUTPUT_VARIABLE depends)
if(NOT depends MATCHES "libc6 \\(>= ")
    message(FATAL_ERROR "library dependencies not computed: ${depends}")
endif()
foreach(file ${installed})
    string(FIND "${listing}" "./usr/${file}\n" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "installed but not in the package: ${file}\n${listing}")
    endif()
endforeach()
set(expected_files bin/quadmeter bin/quadmeter-cli bin/quadmeter-demo bin/quadmeter-sim
    lib/udev/rules.d/70-quadmeter.rules lib/modules-load.d/quadmeter.conf
    share/applications/quadmeter.desktop
    share/applications/quadmeter-demo.desktop share/metainfo/io.github.quadmeter.Quadmeter.metainfo.xml
    share/quadmeter/curves/PT-100.340 share/doc/quadmeter/copyright
    share/doc/quadmeter/changelog.Debian.gz share/doc/quadmeter/examples/quadmeter-rules.yml)
# Every installed program has its man page.
if(MAN_PAGES)
    foreach(file ${installed})
        if(file MATCHES "^bin/(.*)$")
            list(APPEND expected_files share/man/man1/${CMAKE_MATCH_1}.1.gz)
        endif()
    endforeach()
endif()
foreach(expected ${expected_files})
    list(FIND installed ${expected} at)
    if(at EQUAL -1)
        message(FATAL_ERROR "not installed: ${expected}")
    endif()
endforeach()
# Debian 12 keeps system units in /lib/systemd/system, outside the /usr prefix.
foreach(unit quadmeter-log@.service quadmeter-exporter.service)
    string(FIND "${listing}" "./lib/systemd/system/${unit}\n" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "the package has no ${unit}\n${listing}")
    endif()
endforeach()
message(STATUS "package holds all ${count} installed files")
