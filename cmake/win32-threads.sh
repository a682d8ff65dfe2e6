#!/bin/sh
# Compiler and linker launcher for the plugin: runs mingw's win32-thread-model
# driver in place of the -posix one the rest of the build uses. The plugin starts
# no threads of its own, so it needs neither winpthread nor its imports.
compiler=$1
shift
case "$compiler" in
    *-posix) exec "${compiler%-posix}-win32" "$@" ;;
    *) exec "$compiler" "$@" ;;
esac
