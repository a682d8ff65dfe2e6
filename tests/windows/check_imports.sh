#!/bin/bash
# The plugin must load on a machine with nothing but Windows: its import table may
# name only system DLLs, and it exports nothing.
set -u
objdump=$1
plugin=$2
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
echo "ok: system DLLs only, no exports"
