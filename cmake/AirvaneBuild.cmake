# Shared build settings for the library, its tools, plug-ins and tests.

if(AIRVANE_SANITIZE)
    list(JOIN AIRVANE_SANITIZE "," _airvane_san)
    add_compile_options(-fsanitize=${_airvane_san} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${_airvane_san})
endif()

# <windows.h> without its min/max macros and rarely used parts.
if(WIN32)
    add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX)
endif()

# Settings of every Airvane target: the warnings (errors with AIRVANE_WERROR), and hidden
# symbols, so that only what is marked AIRVANE_API (or a plug-in's entry points) is exported.
function(airvane_set_warnings target)
    set_target_properties(${target} PROPERTIES
        C_VISIBILITY_PRESET hidden
        CXX_VISIBILITY_PRESET hidden
        VISIBILITY_INLINES_HIDDEN ON)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
    if(AIRVANE_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

# airvane_add_module(<target> FILE <file name> DIR <output folder> SOURCES ...)
# Builds a loadable module under an exact file name (for example "wpa_stub.dll"),
# as the library asks for modules by such names on every platform.
function(airvane_add_module target)
    cmake_parse_arguments(ARG "" "FILE;DIR" "SOURCES;LIBS" ${ARGN})
    add_library(${target} MODULE ${ARG_SOURCES})
    set_target_properties(${target} PROPERTIES
        PREFIX ""
        OUTPUT_NAME "${ARG_FILE}"
        SUFFIX ""
        LIBRARY_OUTPUT_DIRECTORY "${ARG_DIR}")
    target_link_libraries(${target} PRIVATE airvane ${ARG_LIBS})
    airvane_set_warnings(${target})
endfunction()

# airvane_add_runtime_folder(<folder>)
# Windows looks for a program's DLLs beside it: Airvane.dll and the compiler's runtime DLLs
# are copied into every folder that holds programs using the library.
function(airvane_add_runtime_folder folder)
    set(_files "$<TARGET_FILE:airvane>")
    foreach(_dll libstdc++-6.dll libgcc_s_dw2-1.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
        execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${_dll}
            OUTPUT_VARIABLE _path OUTPUT_STRIP_TRAILING_WHITESPACE)
        if(IS_ABSOLUTE "${_path}" AND EXISTS "${_path}")
            list(APPEND _files "${_path}")
        endif()
    endforeach()
    file(RELATIVE_PATH _name "${PROJECT_BINARY_DIR}" "${folder}")
    string(MAKE_C_IDENTIFIER "airvane_runtime_${_name}" _target)
    add_custom_target(${_target} ALL
        COMMAND ${CMAKE_COMMAND} -E make_directory "${folder}"
        COMMAND ${CMAKE_COMMAND} -E copy_if_different ${_files} "${folder}"
        VERBATIM)
    add_dependencies(${_target} airvane)
endfunction()
