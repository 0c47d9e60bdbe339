# The layer check on the checkout, which must hold, and on a tree with wrong includes planted: a
# file of the link including the unit above it, two folders of one layer including each other
# through a third, and code in a folder no layer names. Each must be named.
execute_process(COMMAND ${CHECK} ${LAYERS} ${SOURCE_DIR}
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(result)
    message(FATAL_ERROR "the checkout breaks its layers:\n${output}")
endif()

file(REMOVE_RECURSE ${WORK_DIR})
file(WRITE ${WORK_DIR}/link/exchange.cpp "#include \"link/exchange.h\"\n#include \"unit/unit.h\"\n")
file(WRITE ${WORK_DIR}/unit/unit.h "#include \"link/exchange.h\"\n")
file(WRITE ${WORK_DIR}/text/numbers.h "#include \"files/regularfile.h\"\n")
file(WRITE ${WORK_DIR}/files/regularfile.h "#include \"values/unitshape.h\"\n")
file(WRITE ${WORK_DIR}/values/unitshape.h "#include <QtGlobal>\n\n#include \"text/numbers.h\"\n")
file(WRITE ${WORK_DIR}/stray/stray.cpp "\n")
execute_process(COMMAND ${CHECK} ${LAYERS} ${WORK_DIR}
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
foreach(expected
        "link/exchange.cpp:2: includes unit/unit.h, of the layer unit above its own (link)"
        "values/unitshape.h:3: includes text/numbers.h, and text/ includes values/ back"
        "stray/: a folder of code in no layer of the build")
    string(FIND "${output}" "${expected}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "not told \"${expected}\":\n${output}")
    endif()
endforeach()
if(NOT result EQUAL 1)
    message(FATAL_ERROR "the check ended with ${result} on wrong includes:\n${output}")
endif()
