# 32-bit Windows: the plugin, the simulated host and the Windows test tier.
# The hooks run on the host's stack, whose alignment is the host's business: no
# function may count on more than 4 bytes.
add_compile_options(-msse2 -mfpmath=sse -mincoming-stack-boundary=2)
enable_language(ASM)
enable_language(RC)

# A player's machine has no mingw run-time DLLs, and the build is the same every
# time it is made from the same sources.
set(ZK_STATIC_RUNTIME -static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp)

if(ZK_LEAN)
    include(cmake/lean.cmake)
    return()
endif()

zk_add_portable(${CMAKE_SOURCE_DIR}/core/os_win32.cpp)

# Everything of the plugin but its entry point; the test program links it too.
# (Objects, not an archive: the portable archive calls the host routines.)
add_library(zk_plugin_core OBJECT
    core/host_routines_win32.cpp
    patches/startup_patches.cpp
    patches/slider_patches.cpp)
target_link_libraries(zk_plugin_core PUBLIC zk_portable)

# What players download, the plugin and the checker, comes from a sub-build of its
# own with the win32-thread-model tool chain (cmake/lean.cmake), into this build's
# bin/ and ZorbelKavrin.map; the test program and the simulated host stay with the
# -posix one.
include(ExternalProject)
set(ZK_PLUGIN_FILE ${CMAKE_BINARY_DIR}/bin/ZorbelKavrin.asi)
set(ZK_CHECKER_FILE ${CMAKE_BINARY_DIR}/bin/zk-check.exe)
set(ZK_PLUGIN_MAP ${CMAKE_BINARY_DIR}/ZorbelKavrin.map)
ExternalProject_Add(zk-lean
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/lean
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-i686-win32.cmake
               -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE} -DZK_LEAN=ON
               -DZK_LEAN_OUTPUT=${CMAKE_BINARY_DIR}/bin -DZK_LEAN_MAP=${ZK_PLUGIN_MAP}
    INSTALL_COMMAND ""
    BUILD_ALWAYS TRUE
    BUILD_BYPRODUCTS ${ZK_PLUGIN_FILE} ${ZK_CHECKER_FILE} ${CMAKE_BINARY_DIR}/bin/zk-empty-dll.dll ${ZK_PLUGIN_MAP})

add_subdirectory(tools/simhost)
# The examples beside the programs: the report tool's default settings folder.
file(COPY ${CMAKE_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_BINARY_DIR}/bin/examples)
add_subdirectory(tools/hostsim)
add_subdirectory(tests/windows)
include(cmake/package.cmake)
