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

# airvane.pc in a multiarch library folder (lib/x86_64-linux-gnu, as under /usr on Debian)
# finds the prefix three levels up: the same consumer builds and runs against such a layout.
include("${SOURCE_DIR}/cmake/AirvanePkgConfig.cmake")
set(multiarch "${WORK_DIR}/multiarch")
set(multiarch_lib "${multiarch}/lib/x86_64-linux-gnu")
airvane_configure_pc("${multiarch_lib}/pkgconfig/airvane.pc" LIBDIR "lib/x86_64-linux-gnu" INCLUDEDIR "include"
    VERSION "0" DESCRIPTION "multiarch layout")
file(COPY "${prefix}/include" DESTINATION "${multiarch}")
file(GLOB libraries "${prefix}/lib/libairvane.so*")
file(COPY ${libraries} DESTINATION "${multiarch_lib}")
set(ENV{PKG_CONFIG_PATH} "${multiarch_lib}/pkgconfig")
run(${PKG_CONFIG} --variable=libdir airvane)
string(STRIP "${LAST_OUTPUT}" pc_libdir)
file(REAL_PATH "${pc_libdir}" pc_libdir)
if(NOT pc_libdir STREQUAL multiarch_lib)
    message(FATAL_ERROR "multiarch airvane.pc gives libdir ${pc_libdir}, not ${multiarch_lib}")
endif()
run(${PKG_CONFIG} --cflags --libs airvane)
string(STRIP "${LAST_OUTPUT}" pc_flags)
separate_arguments(pc_flags UNIX_COMMAND "${pc_flags}")
run(${CXX} -std=c++17 ${extra} "${SOURCE_DIR}/tests/install/consumer/main.cpp" ${pc_flags}
    -o "${WORK_DIR}/airvane_multiarch_consumer")
set(ENV{LD_LIBRARY_PATH} "${multiarch_lib}")
run("${WORK_DIR}/airvane_multiarch_consumer")
if(NOT LAST_OUTPUT MATCHES "consumer ok")
    message(FATAL_ERROR "multiarch pkg-config consumer printed: ${LAST_OUTPUT}")
endif()
set(ENV{LD_LIBRARY_PATH} "${prefix}/lib")

# The tools component: the installed command runs the installed example world.
if(EXISTS "${prefix}/bin/airvane")
    run("${prefix}/bin/airvane" -C "${prefix}/share/airvane/examples/sim" adapters)
    if(NOT LAST_OUTPUT MATCHES "sim0")
        message(FATAL_ERROR "installed airvane listed: ${LAST_OUTPUT}")
    endif()
endif()

# The example host and the example plug-in, built against the installed copy; the host lists
# and joins the plug-in's adapter.
set(example_build "${WORK_DIR}/examples")
foreach(example host plugin)
    run(${CMAKE_COMMAND} -S "${SOURCE_DIR}/examples/${example}" -B "${example_build}/${example}" -G "${GENERATOR}"
        "-DCMAKE_PREFIX_PATH=${prefix}" "-DCMAKE_CXX_COMPILER=${CXX}" ${toolchain}
        "-DCMAKE_CXX_FLAGS=${EXTRA_FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${EXTRA_FLAGS}"
        "-DCMAKE_SHARED_LINKER_FLAGS=${EXTRA_FLAGS}" "-DCMAKE_MODULE_LINKER_FLAGS=${EXTRA_FLAGS}")
    run(${CMAKE_COMMAND} --build "${example_build}/${example}")
endforeach()
file(READ "${SOURCE_DIR}/examples/plugin/WLANInterfaces.xml" world)
string(REPLACE "DLL=\"example_adapter.dll\"" "DLL=\"${example_build}/plugin/example_adapter.dll\"" world
    "${world}")
file(WRITE "${example_build}/world/WLANInterfaces.xml" "${world}")
execute_process(COMMAND "${example_build}/host/airvane_example_host" example0 ExampleNet
    WORKING_DIRECTORY "${example_build}/world" RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT out MATCHES "2 adapter\\(s\\).*selected: example0.*connected to ExampleNet: link status 1")
    message(FATAL_ERROR "example host with the example plug-in (${rc}):\n${out}\n${err}")
endif()
