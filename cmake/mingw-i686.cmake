# 32-bit Windows with Debian's mingw-w64: the -posix compilers, for the simulated
# host, the test program and the report tool (GCC 12's win32 thread model has no
# std::mutex, which GoogleTest needs). The plugin and the checker are built with
# mingw-i686-win32.cmake, in a sub-build of their own (cmake/windows.cmake).
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686-common.cmake)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_ASM_COMPILER i686-w64-mingw32-gcc-posix)
