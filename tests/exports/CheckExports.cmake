# Script mode: checks the export and import tables of Airvane.dll and of the simulated
# plug-ins, as a host or plug-in compiled apart from them sees them.
cmake_policy(SET CMP0057 NEW)

# Names of a DLL's export table (mode EXPORTS) or of its imports from one DLL (mode IMPORTS).
function(read_table out file mode)
    execute_process(COMMAND "${OBJDUMP}" -p "${file}" OUTPUT_VARIABLE text RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "objdump failed on ${file}")
    endif()
    string(REPLACE "\n" ";" lines "${text}")
    set(names "")
    set(in_exports FALSE)
    foreach(line IN LISTS lines)
        if(line MATCHES "^\\[Ordinal/Name Pointer\\] Table")
            set(in_exports TRUE)
        elseif(in_exports AND line MATCHES "^\t\\[ *[0-9]+\\] (.+)$")
            list(APPEND names "${CMAKE_MATCH_1}")
        elseif(in_exports AND line STREQUAL "")
            set(in_exports FALSE)
        elseif(mode STREQUAL "IMPORTS" AND line MATCHES "^\t[0-9a-f]+\t *[0-9]+ +([A-Za-z_][A-Za-z0-9_@]*)$")
            list(APPEND names "${CMAKE_MATCH_1}")
        endif()
    endforeach()
    set(${out} "${names}" PARENT_SCOPE)
endfunction()

set(failures "")
function(expect_exact file mode)
    read_table(names "${file}" ${mode})
    foreach(name IN LISTS ARGN)
        if(NOT name IN_LIST names)
            string(APPEND failures "${file}: no ${mode} entry named exactly ${name}\n")
        endif()
    endforeach()
    set(failures "${failures}" PARENT_SCOPE)
endfunction()

# The plug-in entry points, undecorated (no leading underscore, no @size).
expect_exact("${SIM_ADAPTER}" EXPORTS WLAN_GetAdapter)
expect_exact("${SIM_WPA_STUB}" EXPORTS WPAContextLoad WPAContextFree)
expect_exact("${SIM_WEPPLUS}" EXPORTS RunWepPlus)

# The library's services are the system's own calls; modules are never unloaded.
expect_exact("${LIBRARY}" IMPORTS
    LoadLibraryA GetProcAddress GlobalAlloc GlobalLock GlobalHandle GlobalUnlock GlobalFree
    CreateFileA GetFileInformationByHandle ReadFile CloseHandle GetTickCount GetVersionExA
    RegCreateKeyExA RegOpenKeyExA RegSetValueExA RegQueryValueExA RegCloseKey LoadStringA
    _mbsstr _mbschr _mbsrchr _mbspbrk _mbscmp _mbsnbcpy)
# The library's own code never calls FreeLibrary (the i686 runtime's start-up code may).
string(REPLACE "|" ";" objects "${OBJECTS}")
foreach(object IN LISTS objects)
    execute_process(COMMAND "${NM}" -u "${object}" OUTPUT_VARIABLE undefined RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        string(APPEND failures "nm failed on ${object}\n")
    elseif(undefined MATCHES "FreeLibrary")
        string(APPEND failures "${object} calls FreeLibrary\n")
    endif()
endforeach()

# The exported classes, by a member function or constructor of each (mangled names).
read_table(exports "${LIBRARY}" EXPORTS)
foreach(symbol
        _ZN8CAirvane8Instance
        _ZN23CWLANWPAGenSecureMethod14WPAParseIEinfo
        _ZN23CWLANWPAGenSecureMethod17WPAGenerateIEinfo
        _ZN10CWLANStateC
        _ZN11CWLANProfilC
        _ZN20CWLANWEPSecureMethodC
        _ZN23CWLANWPAPSKSecureMethodC
        _ZN24CWLANWEPPlusSecureMethodC
        _Z11XMLLoadFilePKc)
    set(found FALSE)
    foreach(name IN LISTS exports)
        string(FIND "${name}" "${symbol}" at)
        if(at EQUAL 0)
            set(found TRUE)
            break()
        endif()
    endforeach()
    if(NOT found)
        string(APPEND failures "${LIBRARY}: nothing exported starting with ${symbol}\n")
    endif()
endforeach()

if(failures)
    message(FATAL_ERROR "${failures}")
endif()
list(LENGTH exports count)
message(STATUS "Airvane.dll: ${count} exports checked")
