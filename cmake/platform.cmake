# Compiler and linker settings shared by the product, the stand-in host and the tests.

set(TESSEL_SYSTEM_LIBS shlwapi user32 gdi32 shell32 comctl32 comdlg32 kernel32)

set(TESSEL_DEFINES UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)

function(tessel_product_options target)
    target_compile_definitions(${target} PRIVATE ${TESSEL_DEFINES})
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 /WX /utf-8 /GR- /EHs-c-)
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -fno-exceptions -fno-rtti)
    endif()
endfunction()

# A DLL for a stock Windows: no runtime DLLs of the compiler, only the system's.
set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")

function(tessel_dll_options target)
    if(MSVC)
        # The resource script carries the DLL's manifests itself.
        target_link_options(${target} PRIVATE /MANIFEST:NO)
    else()
        # The DLL starts at its own DllMain: it has no static constructors or destructors and no
        # thread-local data for the compiler's start-up code to run (tools/static-checks.sh keeps
        # it so), and the few C functions it calls come from the system's msvcrt.dll, which starts
        # itself. The linker drops what nothing refers to, and fails rather than import data in a
        # way that the start-up code would have had to patch at load.
        target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++ -nostartfiles
            -Wl,--entry=DllMain -Wl,--gc-sections -Wl,--disable-auto-import)
        if(CMAKE_BUILD_TYPE STREQUAL "MinSizeRel" OR CMAKE_BUILD_TYPE STREQUAL "Release")
            target_link_options(${target} PRIVATE -s)
        endif()
    endif()
endfunction()

function(tessel_program_options target)
    target_compile_definitions(${target} PRIVATE ${TESSEL_DEFINES})
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 /WX /utf-8)
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
        target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
    endif()
endfunction()

if(CMAKE_CROSSCOMPILING)
    set(TESSEL_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
    configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh
        FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE
        @ONLY)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)
endif()
