#!/bin/bash
# Two builds of the same sources, in two build folders, give byte-identical
# ZorbelKavrin.asi, zk-check.exe, release zips and checksum list.
set -eu
source_dir=$1
build_dir=$2
second=$build_dir-again
cmake --build "$build_dir" --target package >/dev/null
rm -rf "$second"
cmake -S "$source_dir" -B "$second" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$second" --target package >/dev/null
status=0
for file in bin/ZorbelKavrin.asi bin/zk-check.exe $(cd "$build_dir" && ls package/ZorbelKavrin-*.zip) \
            package/ZorbelKavrin-SHA256SUMS.txt; do
    first=$build_dir/$file
    again=$second/$file
    if cmp "$first" "$again"; then
        echo "same: $file ($(stat -c %s "$first") bytes, sha256 $(sha256sum < "$first" | cut -c1-16))"
    else
        echo "DIFFERENT: $file"
        status=1
    fi
done
rm -rf "$second"
exit $status
