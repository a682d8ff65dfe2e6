# 32-bit Windows: the plugin, the simulated host and the Windows test tier.
add_compile_options(-msse2 -mfpmath=sse)
enable_language(ASM)

# A player's machine has no mingw run-time DLLs, and the build is the same every
# time it is made from the same sources.
set(ZK_STATIC_RUNTIME -static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp)

add_library(zk_portable STATIC ${ZK_PORTABLE_SOURCES} core/os_win32.cpp)
target_include_directories(zk_portable PUBLIC ${CMAKE_SOURCE_DIR})

# Everything of the plugin but its entry point; the test program links it too.
# (Objects, not an archive: the portable archive calls the host routines.)
add_library(zk_plugin_core OBJECT
    core/host_routines_win32.cpp
    patches/startup_patches.cpp
    patches/slider_patches.cpp)
target_link_libraries(zk_plugin_core PUBLIC zk_portable)

add_library(ZorbelKavrin MODULE core/dll_main.cpp)
target_link_libraries(ZorbelKavrin PRIVATE zk_plugin_core user32)
set_target_properties(ZorbelKavrin PROPERTIES PREFIX "" SUFFIX ".asi")
# No exports at all: without this, ld exports every symbol of a DLL that names none.
target_link_options(ZorbelKavrin PRIVATE ${ZK_STATIC_RUNTIME} -Wl,--exclude-all-symbols -s
    -Wl,--image-base,0x10000000)

add_library(zk_host_stand_in STATIC core/host_routines_stand_in.cpp)
target_include_directories(zk_host_stand_in PUBLIC ${CMAKE_SOURCE_DIR})

# The simulated host, linked once per driver DLL that it hands the process to.
function(zk_add_simulated_host name driver)
    add_executable(${name} ${CMAKE_SOURCE_DIR}/tests/host/simhost.S)
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/host)
    set_target_properties(${name} PROPERTIES LINKER_LANGUAGE C
        LINK_DEPENDS ${CMAKE_SOURCE_DIR}/tests/host/simhost.ld)
    target_link_options(${name} PRIVATE -nostdlib
        -Wl,-T,${CMAKE_SOURCE_DIR}/tests/host/simhost.ld
        -Wl,-e,_HostEntry -Wl,--image-base,0x400000 -Wl,--subsystem,console
        -Wl,--disable-dynamicbase -Wl,--disable-reloc-section -Wl,--no-insert-timestamp)
    target_link_libraries(${name} PRIVATE ${driver} kernel32)
endfunction()

add_subdirectory(tests/windows)
