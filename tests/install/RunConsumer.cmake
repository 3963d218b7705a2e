# Script mode: install, then build and run consumers against the installed copy.
file(REMOVE_RECURSE "${WORK_DIR}")
set(toolchain "")
if(TOOLCHAIN)
    set(toolchain "-DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN}")
endif()
set(prefix "${WORK_DIR}/prefix")

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "command failed (${rc}): ${ARGN}\n${out}\n${err}")
    endif()
    set(LAST_OUTPUT "${out}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${prefix}")

foreach(header airvane/Airvane.h airvane/xml/XMLTree.h airvane/platform/Module.h)
    if(NOT EXISTS "${prefix}/include/${header}")
        message(FATAL_ERROR "installed headers lack ${header}")
    endif()
endforeach()

# A CMake consumer: find_package(Airvane CONFIG) and Airvane::airvane.
set(consumer_build "${WORK_DIR}/consumer-build")
run(${CMAKE_COMMAND} -S "${SOURCE_DIR}/tests/install/consumer" -B "${consumer_build}" -G "${GENERATOR}"
    "-DCMAKE_PREFIX_PATH=${prefix}" "-DCMAKE_CXX_COMPILER=${CXX}" ${toolchain}
    "-DCMAKE_CXX_FLAGS=${EXTRA_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${EXTRA_FLAGS}")
run(${CMAKE_COMMAND} --build "${consumer_build}")
set(ENV{LD_LIBRARY_PATH} "${prefix}/lib")
run("${consumer_build}/airvane_consumer")
if(NOT LAST_OUTPUT MATCHES "consumer ok")
    message(FATAL_ERROR "consumer printed: ${LAST_OUTPUT}")
endif()

# A pkg-config consumer: the same source, compiled by hand with the flags airvane.pc gives.
set(ENV{PKG_CONFIG_PATH} "${prefix}/lib/pkgconfig")
find_program(PKG_CONFIG pkg-config REQUIRED)
run(${PKG_CONFIG} --cflags --libs airvane)
string(STRIP "${LAST_OUTPUT}" pc_flags)
separate_arguments(pc_flags UNIX_COMMAND "${pc_flags}")
separate_arguments(extra UNIX_COMMAND "${EXTRA_FLAGS}")
run(${CXX} -std=c++17 ${extra} "${SOURCE_DIR}/tests/install/consumer/main.cpp" ${pc_flags}
    -o "${WORK_DIR}/airvane_pc_consumer")
run("${WORK_DIR}/airvane_pc_consumer")
if(NOT LAST_OUTPUT MATCHES "consumer ok")
    message(FATAL_ERROR "pkg-config consumer printed: ${LAST_OUTPUT}")
endif()

# The example host, built against the installed copy.
if(EXISTS "${SOURCE_DIR}/examples/host/CMakeLists.txt")
    set(host_build "${WORK_DIR}/host-build")
    run(${CMAKE_COMMAND} -S "${SOURCE_DIR}/examples/host" -B "${host_build}" -G "${GENERATOR}"
        "-DCMAKE_PREFIX_PATH=${prefix}" "-DCMAKE_CXX_COMPILER=${CXX}" ${toolchain}
        "-DCMAKE_CXX_FLAGS=${EXTRA_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${EXTRA_FLAGS}")
    run(${CMAKE_COMMAND} --build "${host_build}")
endif()
