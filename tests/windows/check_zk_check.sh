#!/bin/bash
# zk-check.exe under Wine: the native checker's report on the same folders (paths
# aside: backslashes, and the folder given as a Windows path), then what only Windows
# shows: names in the ANSI code page, files dropped on it, and the console window a
# double-click gives it, in the release package unzipped into a game folder.
#
#   check_zk_check.sh BIN DATA BUILD VERSION
set -u
bin=$1
data=$(realpath "$2")
build=$3
version=$4
runner=$(dirname "$0")/../../scripts/run-pe.sh
source "$(dirname "$0")/click.sh"
status=0
fail() { echo "$*"; status=1; }

for case in mistakes:1 clean:0 nokey:1 wide:2 wide32:2 pasted:1; do
    name=${case%%:*}
    want=${case##*:}
    windows_data="Z:${data//\//\\}"
    output=$("$runner" "$bin" zk-check.exe --plugin-dir "$windows_data\\$name" --json)
    got=$?
    # A Windows console program ends its lines in CR LF; it rewrites a wide file in
    # the ANSI code page (1252 here), the native checker in UTF-8.
    normal=$(printf '%s\n' "$output" | sed -e 's/\r$//' -e 's|\\\\|/|g' -e "s|Z:$data/||g" \
        -e 's/in the ANSI code page (1252)/in UTF-8/g')
    [ "$got" = "$want" ] || fail "$name: exit status $got, want $want"
    diff <(printf '%s\n' "$normal") "$data/$name.json" || fail "$name: the report differs from $data/$name.json"
done

# A game folder as a player leaves it: the plugin and its car files in scripts\,
# the settings file beside the game, one car named in the ANSI code page (1252 here)
# and one with a letter that code page lacks.
work=$(mktemp -d /tmp/zk-check-XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/Game/scripts/KavrinCars"
: > "$work/Game/scripts/ZorbelKavrin.asi"
printf '[GENERAL]\r\nForceLodA=1\r\n' > "$work/Game/ZorbelKavrin.ini"
printf '[GENERAL]\r\nForceLodA=1\r\n' > "$work/Game/scripts/KavrinCars/Škoda.ini"
printf '[GENERAL]\r\nForceLodA=1\r\n' > "$work/Game/scripts/KavrinCars/Škoda_Ω.ini"
game="Z:${work//\//\\}\\Game"

# expect NAME STATUS FIRST-LINE LAST-LINE DIR EXE ARGS...: the checker's first and
# last lines and its exit status (LAST-LINE may be empty: not checked).
expect() {
    local name=$1 want=$2 first=$3 last=$4
    shift 4
    local output got
    "$runner" "$@" < /dev/null > "$work/out"
    got=$?
    output=$(tr -d '\r' < "$work/out")
    [ "$got" = "$want" ] || fail "$name: exit status $got, want $want"
    [ "$(head -n 1 <<< "$output")" = "$first" ] || fail "$name: first line $(head -n 1 <<< "$output")"
    [ -z "$last" ] || [ "$(tail -n 1 <<< "$output")" = "$last" ] || fail "$name: last line $(tail -n 1 <<< "$output")"
    [ $status = 0 ] || printf '%s\n' "$output" | head -n 3
}

expect split 1 \
    "WARNING: $game\\ZorbelKavrin.ini is read by no copy of the plugin: the plugin reads only the folder it lies in, $game\\scripts\\; move it there (1 more below)" \
    "" "$bin" zk-check.exe --plugin-dir "$game"
json=$("$runner" "$bin" zk-check.exe --plugin-dir "$game\\scripts" --json | tr -d '\r')
grep -qF '"cars": [{"name": "Škoda.ini", "ForceLodA": true, "folder": false}]' <<< "$json" ||
    fail "code page: the car named in code page 1252 is not shown as Škoda.ini: $json"
grep -qF '{"file": "KavrinCars\\Škoda_Ω.ini", "line": null, "message": "is skipped: the plugin reads file names in code page 1252, ' <<< "$json" ||
    fail "code page: the car name outside code page 1252 is not listed as skipped: $json"
# Dropped on the checker: a settings file stands for its folder, an exe is the game's.
expect dropped-ini 1 \
    "WARNING: $game\\ZorbelKavrin.ini is read by no copy of the plugin: the plugin reads only the folder it lies in, $game\\scripts\\; move it there (1 more below)" \
    "" "$bin" zk-check.exe "$game\\ZorbelKavrin.ini"
expect dropped-exe 2 "ERROR: $game\\game.exe: the file does not exist (2 more below)" \
    "Exe: $game\\game.exe: the file does not exist" "$bin" zk-check.exe "$game\\game.exe" "$game"
# The release package, unzipped into a game folder as its README says, beside the
# game (the simulated one, whose entry point is the supported build's).
cmake --build "$build" --target package > /dev/null || fail "package: the build failed"
zip=$(ls "$build"/package/ZorbelKavrin-*.zip | grep -v -- '-update\.zip$')
mkdir -p "$work/Unzipped/Game"
unzip -q "$zip" -d "$work/Unzipped/Game"
cp "$bin/simhost-tests.exe" "$work/Unzipped/Game/game.exe"
printf 'MZ loads scripts\\*.asi' > "$work/Unzipped/Game/dinput8.dll"  # the ASI loader
unzipped="Z:${work//\//\\}\\Unzipped"
# Started with no arguments and no console window of its own (a terminal, a
# script): the working folder is checked, and nothing waits.
nowhere="there is no ZorbelKavrin.asi in $unzipped\\, nor in its scripts or plugins folder: no plugin will read these settings; put ZorbelKavrin.asi, ZorbelKavrin.ini and KavrinCars together in the game folder or its scripts folder"
expect terminal 1 "WARNING: $nowhere" "  $nowhere" "$work/Unzipped" Game/scripts/zk-check.exe
# Double-clicked: the console window is its own (a pseudo-terminal gives Wine's
# console one client), so it checks its own folder and waits for Enter (click.sh
# fails when it does not); the same with the game's exe dropped on it.
double_click() {
    click "$work/screen" "$work/Unzipped" "Game/scripts/zk-check.exe $*" "Press Enter to close this window." "" ||
        fail "double-click $*: $(cat "$work/screen")"
    cat "$work/screen"
}
ok="OK: the plugin in $unzipped\\Game\\scripts\\ will use the settings below, and nothing here looks like a mistake"
output=$(double_click)
[ "$(head -n 1 <<< "$output")" = "$ok" ] || fail "double-click: not the package's verdict: $output"
[ "$(tail -n 1 <<< "$output")" = "Press Enter to close this window." ] || fail "double-click: no wait for Enter: $output"
grep -qxF "ASI loader: $unzipped\\Game\\dinput8.dll (under Wine and Proton the game needs WINEDLLOVERRIDES=\"dinput8=n,b\")" <<< "$output" ||
    fail "double-click: the loader, or what Wine needs for it, is not named: $output"
grep -qxF "Plugin: $unzipped\\Game\\scripts\\ZorbelKavrin.asi (version $version)" <<< "$output" ||
    fail "double-click: the plugin's version is not read from its resource: $output"
grep -qxF "Checksums: 5 files match $unzipped\\Game\\ZorbelKavrin-SHA256SUMS.txt" <<< "$output" ||
    fail "double-click: the package's files are not checked against its checksums: $output"
[ "$("$runner" "$work/Unzipped" Game/scripts/zk-check.exe --version | tr -d '\r')" = "zk-check $version" ] ||
    fail "--version: not zk-check $version"
output=$(double_click "'$unzipped\\Game\\game.exe'")
[ "$(head -n 1 <<< "$output")" = "$ok" ] || fail "exe dropped: not the package's verdict: $output"
grep -qxF "Exe: $unzipped\\Game\\game.exe: the game build the plugin supports (version 1.1)" <<< "$output" ||
    fail "exe dropped: the exe is not checked: $output"

# Double-clicked with a mistake it can fix: offered, fixed after F, a backup made,
# and the check made again is clean.
printf '[GENERAL]\rFrontSteerAngle = 400\r' > "$work/Unzipped/Game/scripts/ZorbelKavrin.ini"
cp "$work/Unzipped/Game/scripts/ZorbelKavrin.ini" "$work/cr-only.ini"
click "$work/screen" "$work/Unzipped" Game/scripts/zk-check.exe \
    "Press F and Enter to fix the 1 problem marked [fix]; Enter alone closes this window." F \
    "Press Enter to close this window." "" || fail "fix by double-click: $(cat "$work/screen")"
grep -qxF "Fixes: 1 of 1 made" "$work/screen" || fail "fix by double-click: not made: $(cat "$work/screen")"
grep -qxF "After the fixes: $ok" "$work/screen" || fail "fix by double-click: not clean after: $(cat "$work/screen")"
[ "$(cat "$work/Unzipped/Game/scripts/ZorbelKavrin.ini")" = "$(printf '[GENERAL]\r\nFrontSteerAngle = 400\r\n')" ] ||
    fail "fix by double-click: the line ends are not CR LF"
backup=$(ls -d "$work"/Unzipped/Game/scripts/ZorbelKavrin-backup-* 2>/dev/null)
cmp -s "$backup/scripts/ZorbelKavrin.ini" "$work/cr-only.ini" || fail "fix by double-click: no byte-exact backup in $backup"
rm -rf "$backup"
cp "$work/Unzipped/Game/scripts/ZorbelKavrin.ini" "$work/fixed.ini"
"$runner" "$work/Unzipped" Game/scripts/zk-check.exe --fix Game > "$work/again" 2>&1
grep -qxF "Fixes: nothing to fix: no problem here has a fix that is certain, and nothing was changed" <(tr -d '\r' < "$work/again") ||
    fail "a second --fix: $(cat "$work/again")"
[ -z "$(ls -d "$work"/Unzipped/Game/scripts/ZorbelKavrin-backup-* 2>/dev/null)" ] || fail "a second --fix made a backup"
cmp -s "$work/Unzipped/Game/scripts/ZorbelKavrin.ini" "$work/fixed.ini" || fail "a second --fix changed the file"

# A game under Program Files (in the runner's prefix), with a copy of its settings
# in VirtualStore that the game would read: named, and put away by --fix.
prefix=$("$runner" --how | sed -n 's/.*; folder //p')/prefix
[ -d "$prefix/drive_c" ] || fail "no Wine prefix at $prefix"
store_game="$prefix/drive_c/Program Files (x86)/ZkCheckTest-$$"
store_twin="$prefix/drive_c/users/$(id -un)/AppData/Local/VirtualStore/Program Files (x86)/ZkCheckTest-$$"
mkdir -p "$store_game/scripts" "$store_twin/scripts"
: > "$store_game/scripts/ZorbelKavrin.asi"
printf '[GENERAL]\r\nFrontSteerAngle = 400\r\n' > "$store_game/scripts/ZorbelKavrin.ini"
printf '[GENERAL]\r\nFrontSteerAngle = 340\r\n' > "$store_twin/scripts/ZorbelKavrin.ini"
windows_game="C:\\Program Files (x86)\\ZkCheckTest-$$"
json=$("$runner" "$bin" zk-check.exe --json "$windows_game" | tr -d '\r')
grep -qF "the game reads a hidden copy of ZorbelKavrin.ini that Windows keeps for it, C:\\\\users\\\\$(id -un)\\\\AppData\\\\Local\\\\VirtualStore\\\\Program Files (x86)\\\\ZkCheckTest-$$\\\\scripts\\\\ZorbelKavrin.ini" <<< "$json" ||
    fail "VirtualStore: the hidden copy is not named: $json"
"$runner" "$bin" zk-check.exe --fix "$windows_game" > "$work/store" 2>&1
[ ! -e "$store_twin/scripts/ZorbelKavrin.ini" ] || fail "VirtualStore: the hidden copy is still there: $(cat "$work/store")"
hidden=$(ls -d "$prefix"/drive_c/users/"$(id -un)"/AppData/Local/ZorbelKavrin-VirtualStore-backup-* 2>/dev/null | head -n 1)
[ -f "$hidden/Program Files (x86)/ZkCheckTest-$$/scripts/ZorbelKavrin.ini" ] ||
    fail "VirtualStore: the hidden copy was not moved into a folder of its own: $(cat "$work/store")"
grep -q "^After the fixes: OK: " <(tr -d '\r' < "$work/store") || fail "VirtualStore: not clean after: $(cat "$work/store")"
rm -rf "$store_game" "$store_twin" "$hidden"

# A plugin of another release beside this checker: its fixed version patched to
# 9.8.7 (FileVersionMS and LS follow the fixed part's signature, BD 04 EF FE).
plugin=$work/Unzipped/Game/scripts/ZorbelKavrin.asi
signature=$(LC_ALL=C grep -obUaP '\xBD\x04\xEF\xFE' "$plugin" | head -n 1 | cut -d: -f1)
[ -n "$signature" ] || fail "another release: no fixed version part in $plugin"
printf '\x08\x00\x09\x00\x00\x00\x07\x00' | dd of="$plugin" bs=1 seek=$((signature + 8)) conv=notrunc status=none
json=$("$runner" "$work/Unzipped" Game/scripts/zk-check.exe --json Game | tr -d '\r')
grep -qF '"plugin_versions": [{"version": "9.8.7"}], "checker_version": "'"$version"'"' <<< "$json" ||
    fail "another release: the JSON does not give both versions: $json"
grep -qF "ZorbelKavrin.asi is version 9.8.7, and this checker (with the README beside it) is version $version: they come from two releases" <<< "$json" ||
    fail "another release: no warning: $json"
grep -qF '"checksums": {"file": "'"${unzipped//\\/\\\\}"'\\Game\\ZorbelKavrin-SHA256SUMS.txt", "matched": 4, "differ": ["'"${unzipped//\\/\\\\}"'\\Game\\scripts\\ZorbelKavrin.asi"]}' <<< "$json" ||
    fail "another release: the changed plugin does not differ from its checksum: $json"

[ $status = 0 ] && echo "ok: zk-check.exe agrees with the native checker; names, drops, double-clicks and the package"
exit $status
