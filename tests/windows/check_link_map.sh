#!/bin/bash
# The lean build's guard, on the plugin's link map: the run-time objects it must
# not pull in. Each is what one of the lean build's tricks keeps out (the win32
# thread model, the string members each source uses, small failure paths, a
# number reader of our own); a new compiler or library that brings one back shows
# here, by name, before the size does.
#
#   check_link_map.sh MAP
set -u
map=$1
[ -s "$map" ] || { echo "no link map at $map"; exit 1; }
# archive(member) pairs the linker took
pulled=$(grep -oE '[A-Za-z0-9_+.-]+\.a\([A-Za-z0-9_+.-]+\.o\)' "$map" | sed 's|.*/||' | sort -u)
forbidden='
libstdc++.a(cp-demangle.o)        the demangler, behind the verbose terminate handler
libstdc++.a(vterminate.o)         the verbose terminate handler
libstdc++.a(string-inst.o)        the whole std::string instantiation
libstdc++.a(cow-string-inst.o)    the copy-on-write string instantiation
libstdc++.a(wstring-inst.o)       the whole std::wstring instantiation
libstdc++.a(cow-wstring-inst.o)   the copy-on-write wstring instantiation
libstdc++.a(sstream-inst.o)       string streams
libstdc++.a(ostream-inst.o)       output streams
libstdc++.a(istream-inst.o)       input streams
libstdc++.a(ios-inst.o)           the stream base
libstdc++.a(locale-inst.o)        stream locales
libstdc++.a(functexcept.o)        the library'"'"'s __throw_* helpers, formatted
libstdc++.a(snprintf_lite.o)      their printf
libstdc++.a(floating_from_chars.o) from_chars for doubles (settings/nearest_double.cpp reads numbers)
libmingwex.a(lib32_libmingwex_a-mingw_pformat.o)  mingw'"'"'s printf engine
libwinpthread.a                   winpthread'
status=0 found=0
while read -r object why; do
    [ -n "$object" ] || continue
    if [ "$object" = libwinpthread.a ]; then
        hit=$(grep -m 1 -F 'libwinpthread' <<< "$pulled")
    else
        hit=$(grep -m 1 -xF "$object" <<< "$pulled")
    fi
    if [ -n "$hit" ]; then
        echo "FAILED: the plugin pulls in $hit ($why)"
        status=1 found=$((found + 1))
    fi
done <<< "$forbidden"
echo "$(wc -l <<< "$pulled") run-time objects in the map, $(grep -c 'libstdc++' <<< "$pulled") of them from libstdc++; $found of the $(grep -c . <<< "$forbidden") forbidden ones"
exit $status
