# 32-bit Windows: the plugin, the simulated host and the Windows test tier.
# The hooks run on the host's stack, whose alignment is the host's business: no
# function may count on more than 4 bytes.
add_compile_options(-msse2 -mfpmath=sse -mincoming-stack-boundary=2)
enable_language(ASM)
enable_language(RC)

# A player's machine has no mingw run-time DLLs, and the build is the same every
# time it is made from the same sources.
set(ZK_STATIC_RUNTIME -static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp)

zk_add_portable(${CMAKE_SOURCE_DIR}/core/os_win32.cpp)

# Everything of the plugin but its entry point; the test program links it too.
# (Objects, not an archive: the portable archive calls the host routines.)
add_library(zk_plugin_core OBJECT
    core/host_routines_win32.cpp
    patches/startup_patches.cpp
    patches/slider_patches.cpp)
target_link_libraries(zk_plugin_core PUBLIC zk_portable)

# What players download is built for size, from its own copy of the portable code
# and the Windows seam: the win32 thread model (no winpthread), only the library
# templates each source uses, small failure paths (core/runtime_win32.cpp) in place
# of the library's printing ones, -Os, and stripped. The test program keeps the
# -posix build of the same code.
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
    target_compile_options(${target} PRIVATE
        $<$<COMPILE_LANGUAGE:CXX>:-Os -include ${CMAKE_SOURCE_DIR}/core/lean_templates.h>)
    set_target_properties(${target} PROPERTIES
        CXX_COMPILER_LAUNCHER ${CMAKE_SOURCE_DIR}/cmake/win32-threads.sh
        CXX_LINKER_LAUNCHER ${CMAKE_SOURCE_DIR}/cmake/win32-threads.sh)
endfunction()

# The portable code and the Windows seam built lean once, for the plugin and the
# checker alike.
add_library(zk_lean OBJECT ${ZK_PORTABLE_SOURCES}
    ${CMAKE_SOURCE_DIR}/core/os_win32.cpp ${CMAKE_SOURCE_DIR}/core/runtime_win32.cpp)
zk_compile_lean(zk_lean)

function(zk_build_lean target)
    target_link_libraries(${target} PRIVATE zk_lean)
    zk_compile_lean(${target})
    target_link_options(${target} PRIVATE ${ZK_STATIC_RUNTIME} -s)
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
    -Wl,--image-base,0x10000000 -Wl,-Map,${CMAKE_BINARY_DIR}/ZorbelKavrin.map)


add_subdirectory(tools/simhost)
# The examples beside the programs: the report tool's default settings folder.
file(COPY ${CMAKE_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_BINARY_DIR}/bin/examples)
add_subdirectory(tools/hostsim)
add_subdirectory(tools/zk-check)
add_subdirectory(tests/windows)
include(cmake/package.cmake)
