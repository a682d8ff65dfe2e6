# The sub-build of what players download (cmake/windows.cmake starts it): the
# plugin, the checker and, for the start-up benchmark, an empty DLL made the same
# way, into the outer build's bin/ (ZK_LEAN_OUTPUT) and its map (ZK_LEAN_MAP).
#
# Built for size: the win32 thread model of the tool chain itself
# (mingw-i686-win32.cmake; no winpthread), only the library templates each source
# uses (core/lean_templates.h), small failure paths (core/runtime_win32.cpp) in
# place of the library's printing ones, -Os, and stripped.
# Each trick can be switched off, for scripts/measure-lean, which measures them
# again one by one; a build for players uses them all.
# (Plain variables, not cached: a build configured before a default changed takes
# the new one.)
foreach(zk_trick ZK_LEAN_TEMPLATES ZK_LEAN_RUNTIME ZK_LEAN_GC_SECTIONS)  # each ON or OFF
    if(NOT DEFINED ${zk_trick})
        set(${zk_trick} ON)
    endif()
endforeach()
if(NOT DEFINED ZK_LEAN_OPTIMIZE)
    set(ZK_LEAN_OPTIMIZE -Os)
endif()

execute_process(COMMAND ${CMAKE_CXX_COMPILER} -v ERROR_VARIABLE zk_compiler_says OUTPUT_QUIET)
# ZK_LEAN_ANY_THREAD_MODEL=ON: a compiler of another model, for measurements only.
if(NOT zk_compiler_says MATCHES "Thread model: win32" AND NOT ZK_LEAN_ANY_THREAD_MODEL)
    message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not have the win32 thread model; the plugin is built "
                        "with one that has (cmake/mingw-i686-win32.cmake)")
endif()
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${ZK_LEAN_OUTPUT})
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${ZK_LEAN_OUTPUT})

# The tricks below, and the guard that checks them (plugin-link-map, plugin-imports'
# size cap), were last checked with GCC 12 (Debian's mingw-w64 12-win32).
set(ZK_LEAN_CHECKED_GCC 12)
string(REGEX MATCH "^[0-9]+" zk_gcc_major "${CMAKE_CXX_COMPILER_VERSION}")
if(NOT zk_gcc_major STREQUAL ZK_LEAN_CHECKED_GCC)
    message(WARNING "the lean build was checked with GCC ${ZK_LEAN_CHECKED_GCC}; this is GCC "
                    "${CMAKE_CXX_COMPILER_VERSION}: see that plugin-link-map and the size cap of "
                    "plugin-imports still pass, and measure again (README, Size)")
endif()

# The lean compile of a target's own sources.
function(zk_compile_lean target)
    target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR})
    target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${ZK_LEAN_OPTIMIZE}>)
    if(ZK_LEAN_TEMPLATES)
        target_compile_options(${target} PRIVATE
            $<$<COMPILE_LANGUAGE:CXX>:-include ${CMAKE_SOURCE_DIR}/core/lean_templates.h>)
    endif()
    if(ZK_LEAN_GC_SECTIONS)
        target_compile_options(${target} PRIVATE -ffunction-sections -fdata-sections)
    endif()
endfunction()

# The portable code and the Windows seam built lean once, for the plugin and the
# checker alike.
add_library(zk_lean OBJECT ${ZK_PORTABLE_SOURCES} ${CMAKE_SOURCE_DIR}/core/os_win32.cpp
    $<$<BOOL:${ZK_LEAN_RUNTIME}>:${CMAKE_SOURCE_DIR}/core/runtime_win32.cpp>)
zk_compile_lean(zk_lean)

# The library's failure paths that core/runtime_win32.cpp stands in for, by the
# linker's --wrap (the mangled names, without i686's leading underscore).
set(ZK_LEAN_WRAPPED
    _ZN9__gnu_cxx27__verbose_terminate_handlerEv
    _ZSt20__throw_length_errorPKc _ZSt19__throw_logic_errorPKc
    _ZSt24__throw_out_of_range_fmtPKcz _ZSt17__throw_bad_allocv
    _ZSt28__throw_bad_array_new_lengthv)

function(zk_build_lean target)
    target_link_libraries(${target} PRIVATE zk_lean)
    zk_compile_lean(${target})
    target_link_options(${target} PRIVATE ${ZK_STATIC_RUNTIME} -s $<$<BOOL:${ZK_LEAN_GC_SECTIONS}>:-Wl,--gc-sections>)
    if(ZK_LEAN_RUNTIME)
        foreach(name ${ZK_LEAN_WRAPPED})
            target_link_options(${target} PRIVATE -Wl,--wrap=${name})
        endforeach()
    endif()
endfunction()

configure_file(core/version.rc.in ${CMAKE_BINARY_DIR}/version.rc @ONLY)
add_library(ZorbelKavrin MODULE
    core/dll_main.cpp
    core/host_routines_win32.cpp
    patches/startup_patches.cpp
    patches/slider_patches.cpp
    ${CMAKE_BINARY_DIR}/version.rc)
target_link_libraries(ZorbelKavrin PRIVATE user32)
set_target_properties(ZorbelKavrin PROPERTIES PREFIX "" SUFFIX ".asi")
zk_build_lean(ZorbelKavrin)
# No exports at all: without this, ld exports every symbol of a DLL that names none.
# The map names the stripped DLL's routines for the machine-code checks.
target_link_options(ZorbelKavrin PRIVATE -Wl,--exclude-all-symbols
    -Wl,--image-base,0x10000000 -Wl,-Map,${ZK_LEAN_MAP})

add_subdirectory(tools/zk-check)

# What loading a DLL costs before its code does anything (simhost-tests.exe
# --bench-startup).
add_library(zk-empty-dll MODULE ${CMAKE_SOURCE_DIR}/bench/empty_dll.c)
set_target_properties(zk-empty-dll PROPERTIES PREFIX "")
target_compile_options(zk-empty-dll PRIVATE -Os)
target_link_options(zk-empty-dll PRIVATE ${ZK_STATIC_RUNTIME} -s)
