# 32-bit Windows with Debian's mingw-w64: the win32-thread-model compilers, for
# what players download. The plugin starts no threads of its own, and the model
# needs neither winpthread nor its imports. cmake/lean.cmake checks that the
# compiler given here really has that model.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686-common.cmake)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-win32)
set(CMAKE_ASM_COMPILER i686-w64-mingw32-gcc-win32)
