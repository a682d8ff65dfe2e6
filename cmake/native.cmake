# Native x86-64 Linux: the portable code on the POSIX seam, its tests and the tools.
option(ZK_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(ZK_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=address,undefined)
endif()

option(ZK_FUZZ "Build the libFuzzer targets only (clang)" OFF)
if(ZK_FUZZ)
    add_subdirectory(tests/fuzz)
    return()
endif()

zk_add_portable(${CMAKE_SOURCE_DIR}/core/os_posix.cpp)
target_link_libraries(zk_portable PUBLIC ${CMAKE_DL_LIBS})

add_subdirectory(tools/zk-check)
if(NOT ZK_SANITIZE)
    add_subdirectory(bench)
endif()
add_subdirectory(tests/native)
