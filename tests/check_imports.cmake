# Fails when Tessel.dll imports anything but Windows' own DLLs (a stock Windows has no compiler
# runtime DLLs, and the host loads the plug-in with nothing beside it), or imports a library it
# loads on first use.
# Usage: cmake -DOBJDUMP=<objdump> -DDLL=<Tessel.dll> -P check_imports.cmake
execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} could not read ${DLL}")
endif()

string(REGEX MATCHALL "DLL Name: [^\r\n]+" lines "${dump}")
if(NOT lines)
    message(FATAL_ERROR "${DLL} shows no imports at all; the dump was not understood")
endif()

set(system_dlls kernel32 user32 gdi32 shlwapi comctl32 advapi32 ole32 msvcrt ucrtbase)
# Loaded on first use (base/system_libraries.cpp): imported, they and what they pull in would
# load at every start of the host.
set(loaded_on_use shell32 comdlg32)
set(foreign "")
set(eager "")
foreach(line IN LISTS lines)
    string(REGEX REPLACE "DLL Name: *" "" dll "${line}")
    string(STRIP "${dll}" dll)
    string(TOLOWER "${dll}" name)
    string(REGEX REPLACE "\\.dll$" "" name "${name}")
    list(FIND system_dlls "${name}" known)
    list(FIND loaded_on_use "${name}" on_use)
    if(NOT on_use EQUAL -1)
        list(APPEND eager "${dll}")
    elseif(known EQUAL -1 AND NOT name MATCHES "^api-ms-win-")
        list(APPEND foreign "${dll}")
    endif()
    message(STATUS "imports ${dll}")
endforeach()

if(foreign)
    message(FATAL_ERROR "Tessel.dll imports DLLs that are not part of Windows: ${foreign}")
endif()
if(eager)
    message(FATAL_ERROR "Tessel.dll imports ${eager}, which it loads on first use instead")
endif()
