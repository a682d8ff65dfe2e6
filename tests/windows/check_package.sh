#!/bin/bash
# The release packages: each zip's listing exactly, the checksums inside and beside
# them as sha256sum -c reads them, line ends as Windows' Notepad wants them, and an
# update unzipped over an install with edited settings, which stay byte for byte.
#
#   check_package.sh BUILD VERSION
set -u
build=$1
version=$2
status=0
fail() { echo "FAIL: $*"; status=1; }
cmake --build "$build" --target package > /dev/null || { echo "the package build failed"; exit 1; }
package=$build/package
full=$package/ZorbelKavrin-$version.zip
update=$package/ZorbelKavrin-$version-update.zip
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

common="ZorbelKavrin-CHANGELOG.txt
ZorbelKavrin-LICENSE.txt
ZorbelKavrin-README.txt
ZorbelKavrin-SHA256SUMS.txt
scripts/ZorbelKavrin.asi
scripts/zk-check.exe"
want_full=$(printf '%s\nscripts/ZorbelKavrin.ini\nscripts/KavrinCars/EXAMPLE_CAR.ini\n' "$common" | sort)
[ "$(unzip -Z1 "$full" | sort)" = "$want_full" ] || fail "the full package holds: $(unzip -Z1 "$full" | paste -sd' ')"
[ "$(unzip -Z1 "$update" | sort)" = "$(sort <<< "$common")" ] ||
    fail "the update package holds: $(unzip -Z1 "$update" | paste -sd' ')"

for zip in "$full" "$update"; do
    name=${zip##*/}
    mkdir -p "$work/$name"
    unzip -q "$zip" -d "$work/$name"
    sums=$(cd "$work/$name" && sha256sum -c ZorbelKavrin-SHA256SUMS.txt 2>&1) || fail "$name: sha256sum -c: $sums"
    listed=$(wc -l < "$work/$name/ZorbelKavrin-SHA256SUMS.txt")
    files=$(cd "$work/$name" && find . -type f ! -name ZorbelKavrin-SHA256SUMS.txt | wc -l)
    [ "$listed" = "$files" ] || fail "$name: its checksum file lists $listed files of $files"
    echo "$name: $(grep -c ': OK$' <<< "$sums") of $files files match ZorbelKavrin-SHA256SUMS.txt"
done
# Beside the zips: the full package's list, then the zips'.
beside=$(cd "$package" && sha256sum -c --ignore-missing ZorbelKavrin-SHA256SUMS.txt 2>&1) ||
    fail "beside the zips: $beside"
[ "$(head -n 7 "$package/ZorbelKavrin-SHA256SUMS.txt")" = "$(cat "$work/${full##*/}/ZorbelKavrin-SHA256SUMS.txt")" ] ||
    fail "beside the zips: not the full package's list first"
[ "$(grep -c ': OK$' <<< "$beside")" = 2 ] || fail "beside the zips: the two zips are not both listed: $beside"
# Text as Notepad wants it, and the checksum file as sha256sum does.
head -c 200 "$work/${full##*/}/scripts/ZorbelKavrin.ini" | grep -q $'\r$' || fail "ZorbelKavrin.ini has no CR LF line ends"
! grep -q $'\r' "$work/${full##*/}/ZorbelKavrin-SHA256SUMS.txt" || fail "the checksum file has CR LF line ends"

# An install, its settings edited and a car added, then the update over it.
game=$work/Game
mkdir -p "$game"
unzip -q "$full" -d "$game"
printf 'FrontSteerAngle = 12.5\r\n' >> "$game/scripts/ZorbelKavrin.ini"
printf '[GENERAL]\r\nForceLodA = 0\r\n' > "$game/scripts/KavrinCars/EXAMPLE_CAR.ini"
cp "$game/scripts/ZorbelKavrin.ini" "$work/edited.ini"
cp "$game/scripts/KavrinCars/EXAMPLE_CAR.ini" "$work/edited-car.ini"
printf 'an older plugin' > "$game/scripts/ZorbelKavrin.asi"
unzip -q -o "$update" -d "$game"
cmp -s "$game/scripts/ZorbelKavrin.ini" "$work/edited.ini" || fail "the update changed the edited ZorbelKavrin.ini"
cmp -s "$game/scripts/KavrinCars/EXAMPLE_CAR.ini" "$work/edited-car.ini" || fail "the update changed the edited car file"
cmp -s "$game/scripts/ZorbelKavrin.asi" "$work/${full##*/}/scripts/ZorbelKavrin.asi" || fail "the update did not replace the plugin"
[ $status = 0 ] && echo "ok: both packages as listed, their checksums hold, and the update keeps edited settings byte for byte"
exit $status
