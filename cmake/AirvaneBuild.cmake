# Shared build settings for the library, its tools, plug-ins and tests.

if(AIRVANE_SANITIZE)
    list(JOIN AIRVANE_SANITIZE "," _airvane_san)
    add_compile_options(-fsanitize=${_airvane_san} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${_airvane_san})
endif()

function(airvane_set_warnings target)
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
