#!/bin/bash
# The plugin must load on a machine with nothing but Windows: its import table may
# name only system DLLs, and it exports nothing. It stays small, and it imports
# exactly the functions of the list beside this script, so a change that pulls in
# another part of the run-time (threads, formatted printing) shows at once.
set -u
objdump=$1
plugin=$2
expected_list=$3
size_limit=$4
headers=$("$objdump" -p "$plugin") || { echo "cannot read $plugin"; exit 1; }
imports=$(printf '%s\n' "$headers" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
echo "imports:" $imports
[ -n "$imports" ] || { echo "no import table found"; exit 1; }
allowed='^(kernel32|user32|msvcrt|advapi32|ntdll)\.dll$'
bad=$(printf '%s\n' "$imports" | grep -Ev "$allowed")
if [ -n "$bad" ]; then
    echo "imports outside the system DLLs:" $bad
    exit 1
fi
# ld gives every DLL an export directory; it must list nothing.
exports=$(printf '%s\n' "$headers" | sed -n '/^Number in:/,/Table Addresses/p' |
          grep -E "Export Address Table|Name Pointer" | awk '{print $NF}' | sort -u)
if [ -n "$exports" ] && [ "$exports" != "00000000" ]; then
    echo "the plugin exports something:"
    printf '%s\n' "$headers" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p'
    exit 1
fi
size=$(stat -c %s "$plugin")
echo "size: $size bytes (limit $size_limit)"
if [ "$size" -gt "$size_limit" ]; then
    echo "the plugin is larger than $size_limit bytes"
    exit 1
fi
functions=$(printf '%s\n' "$headers" | awk '
    /^\tDLL Name: / { dll = tolower($3); next }
    dll != "" && /^\t[0-9a-f]+\t +[0-9]+ +[A-Za-z_]/ { print dll "!" $3; next }
    /^$/ { dll = "" }' | sort -u)
if ! difference=$(diff <(grep -v '^#' "$expected_list") <(printf '%s\n' "$functions")); then
    echo "imported functions differ from $expected_list (< listed only, > imported only):"
    printf '%s\n' "$difference"
    exit 1
fi
echo "ok: system DLLs only, no exports, $(printf '%s\n' "$functions" | wc -l) functions as listed"
