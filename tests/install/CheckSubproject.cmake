# Script mode: configures a project that adds Airvane with add_subdirectory and checks that
# it gets the library alone (no tests, command or plug-ins) and can link it.
file(REMOVE_RECURSE "${WORK_DIR}")
execute_process(COMMAND ${CMAKE_COMMAND} -S "${SOURCE_DIR}/tests/install/subproject" -B "${WORK_DIR}"
    -G "${GENERATOR}" "-DAIRVANE_SOURCE_DIR=${SOURCE_DIR}"
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "configuring the parent project failed:\n${out}\n${err}")
endif()
# Airvane's folders each get a binary folder only when they are part of the build.
if(NOT EXISTS "${WORK_DIR}/airvane/airvane/manager")
    message(FATAL_ERROR "the parent project does not build the library")
endif()
foreach(unwanted tests plugins tools)
    if(EXISTS "${WORK_DIR}/airvane/${unwanted}")
        message(FATAL_ERROR "the parent project builds Airvane's ${unwanted}")
    endif()
endforeach()
