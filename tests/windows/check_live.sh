#!/bin/bash
# zk-check --running under Wine, against the simulated game as a player runs it
# (zk-hostsim --stay-until: its ASI loader loads the .asi files beside it, then it
# keeps running): the plugin active with the example settings and with every
# switch on, the settings edited after the start, no plugin in the folder, a
# build the plugin refuses, another plugin that takes over the level-of-detail
# call, the game's file damaged on disk, and two games at once.
#
#   check_live.sh BIN DATA
set -u
bin=$1
data=$2
here=$(cd "$(dirname "$0")" && pwd)
runner=$here/../../scripts/run-pe.sh
source "$here/click.sh"
examples=$here/../../examples
status=0
fail() { echo "FAILED: $*"; status=1; }

work=$(mktemp -d /tmp/zk-live-XXXXXX)
games=()
end_games() {
    for game in "${games[@]}"; do touch "$work/$game.end"; done
    wait
    games=()
}
trap 'end_games; [ -n "${ZK_KEEP:-}" ] || rm -rf "$work"' EXIT

# make NAME SETTINGS: a game folder as a player sets it up, the simulated game as
# game.exe, an ASI loader stand-in beside it, the plugin and SETTINGS (a folder
# with ZorbelKavrin.ini and KavrinCars, or "none") in scripts.
make_game() {
    local game=$work/$1
    mkdir -p "$game/scripts"
    cp "$bin/zk-hostsim.exe" "$game/game.exe"
    cp "$bin/zk-hostsim.dll" "$game/"
    printf 'MZ loads scripts\\*.asi' > "$game/dinput8.dll"
    cp "$bin/ZorbelKavrin.asi" "$game/scripts/"
    [ "$2" = none ] || cp -r "$2/." "$game/scripts/"
}

# start NAME [ARGS...]: runs the game until its end file exists; waits until its
# plugins are loaded.
start() {
    local name=$1
    shift
    games+=("$name")
    "$runner" "$work/$name" game.exe --stay-until "Z:${work//\//\\}\\$name.end" "$@" > "$work/$name.out" 2>&1 &
    for _ in $(seq 300); do
        grep -q '^zk-hostsim: staying' "$work/$name.out" && return 0
        sleep 0.1
    done
    fail "$name: the game did not start: $(cat "$work/$name.out")"
}

# check NAME STATUS: zk-check --running, text and JSON, with its exit status.
check() {
    "$runner" "$bin" zk-check.exe --running > "$work/text" 2>&1
    local got=$?
    tr -d '\r' < "$work/text" > "$work/$1.txt"
    "$runner" "$bin" zk-check.exe --running --json | tr -d '\r' > "$work/$1.json"
    [ "$got" = "$2" ] || fail "$1: exit status $got, want $2: $(head -n 3 "$work/$1.txt")"
}

# expect NAME DESCRIPTION JQ-EXPRESSION: the expression on NAME's JSON gives true.
expect() {
    [ "$(jq -e "$3" "$work/$1.json" 2>/dev/null)" = true ] || fail "$1: $2 ($3): $(head -c 600 "$work/$1.json")"
}

# has NAME LINE: the text report holds exactly this line.
has() { grep -qxF -- "$2" "$work/$1.txt" || fail "$1: no line '$2' in: $(cat "$work/$1.txt")"; }

check none 2
has none "no running game found: start the game, then run this again"

# Active, with the examples: the hooks, the no-operations and the steering angle
# as the plugin writes them, the switches off as the file says.
make_game examples "$examples"
start examples
check examples 0
expect examples "one game, the supported build, the plugin from scripts" \
    '(.games | length) == 1 and .games[0].supported and (.games[0].plugins | length) == 1 and .games[0].plugins[0].folder_check_reads and (.games[0].plugins[0].path | endswith("\\examples\\scripts\\ZorbelKavrin.asi"))'
expect examples "the places written at every start are the plugin's" \
    '[.games[0].sites[] | select(.what | test("hook|after|steering")) | .state] == ["plugin", "plugin", "plugin", "plugin"]'
expect examples "the switches' places as the game shipped them" \
    '[.games[0].sites[] | select(.what | test("pool|sliders")) | .state] | unique == ["shipped"]'
expect examples "the hooks lead into the plugin" \
    '[.games[0].sites[] | select(.into != null) | .into | startswith("ZorbelKavrin.asi+0x")] == [true, true]'
expect examples "the values held and the file's agree" \
    '[.games[0].values[] | select(.game != null) | .game == .file] == [true, true, true, true]'
has examples "  FrontSteerAngle            340 in the game, 340 in the file"
pid=$(jq .games[0].pid "$work/examples.json")
head -n 1 "$work/examples.txt" | grep -qxF "OK: ZorbelKavrin is working in game.exe (PID $pid): every place as it writes them, with the values ZorbelKavrin.ini gives now" ||
    fail "examples: the verdict: $(head -n 1 "$work/examples.txt")"

# Double-clicked beside the running game: the folder check, the offer, and after L
# the live check (a pseudo-terminal gives Wine's console one client).
cp "$bin/zk-check.exe" "$work/examples/scripts/"
click "$work/clicked.txt" "$work/examples" scripts/zk-check.exe "press L and Enter" L \
    "Press Enter to close this window." "" || fail "clicked: $(cat "$work/clicked.txt")"
has clicked "The game is running: press L and Enter to see what the plugin did in it; Enter alone closes this window."
has clicked "OK: ZorbelKavrin is working in game.exe (PID $pid): every place as it writes them, with the values ZorbelKavrin.ini gives now"
[ "$(tail -n 1 "$work/clicked.txt")" = "Press Enter to close this window." ] || fail "clicked: no wait at the end: $(cat "$work/clicked.txt")"
head -n 1 "$work/clicked.txt" | grep -q '^OK: the plugin in .*examples\\scripts\\ will use the settings below' ||
    fail "clicked: the folder check does not come first: $(head -n 1 "$work/clicked.txt")"

# Edited after the start: the file's new values, the game's old ones, a restart.
printf '[GENERAL]\r\nFrontSteerAngle=400\r\nInfiniteTuningSliders=1\r\n' > "$work/examples/scripts/ZorbelKavrin.ini"
check edited 1
has edited "WARNING: FrontSteerAngle: the file now says 400; the game took 340 when it started: restart the game"
has edited "WARNING: InfiniteTuningSliders: the file now says on; the game took off when it started: restart the game"
has edited "  InfiniteTuningSliders      off in the game, on in the file"
end_games

# Every switch on: every place as the plugin writes it.
make_game all "$data/all-flags"
start all
check all 0
expect all "every place as the plugin writes it" '[.games[0].sites[] | .state] | unique == ["plugin"]'
expect all "the autosculpt jump leads into the plugin" \
    '[.games[0].sites[] | select(.address == "0x7E7E79") | .into | startswith("ZorbelKavrin.asi+0x")] == [true]'
has all "  FrontSteerAngle            400 in the game, 400 in the file"
has all "  InfiniteAutosculptSliders  on in the game, on in the file"
end_games

# No plugin in the folder: the game runs without it, and the folder check says why.
make_game bare none
rm "$work/bare/scripts/ZorbelKavrin.asi"
start bare
check bare 2
has bare "Plugin: not loaded"
has bare "ERROR: ZorbelKavrin.asi is not loaded in the game: there is no ZorbelKavrin.asi where an ASI loader looks (the game's folder, its scripts and plugins folders); put it in the scripts folder with ZorbelKavrin.ini and KavrinCars"
expect bare "every place as the game shipped it" '[.games[0].sites[] | .state] | unique == ["shipped"]'
end_games

# A build the plugin refuses: its message, and nothing changed.
make_game refused "$examples"
start refused --entry-point 428C26
grep -qF 'message box "Zorbel Kavrin": This .exe is not supported.' "$work/refused.out" ||
    fail "refused: the plugin showed no message: $(cat "$work/refused.out")"
check refused 2
has refused "ERROR: it is not the supported build (AddressOfEntryPoint 0x428C26; the plugin takes only 0x428C25): the plugin refused to load there (\"This .exe is not supported.\") and changed nothing"
expect refused "not loaded, nothing changed" '(.games[0].supported | not) and (.games[0].plugins | length) == 0 and ([.games[0].sites[] | .state] | unique == ["shipped"])'
end_games

# Another plugin, loaded after this one (plugins comes after scripts), takes the
# level-of-detail call.
make_game conflict "$examples"
mkdir -p "$work/conflict/plugins"
cp "$bin/OtherMod.asi" "$work/conflict/plugins/"
start conflict
check conflict 2
has conflict "ERROR: the level-of-detail call leads into OtherMod.asi, not into ZorbelKavrin.asi: that plugin was loaded after this one and replaced its hook"
expect conflict "the other plugin is listed" '[.games[0].other_asi[] | .path | endswith("\\plugins\\OtherMod.asi")] == [true]'
expect conflict "the call is someone else's, the jump still the plugin's" \
    '[.games[0].sites[] | select(.what | endswith("hook: CALL") or endswith("hook: JMP")) | .state] == ["other", "plugin"] and (.games[0].sites[] | select(.address == "0x777D11") | .into | startswith("OtherMod.asi+0x"))'
end_games

# The game's file damaged on disk while it runs (moved aside, a broken one put in
# its place): the places are still read, without the comparison, and why.
make_game damaged "$examples"
start damaged
mv "$work/damaged/game.exe" "$work/damaged/game-running.exe"
head -c 700 "$bin/zk-hostsim.exe" > "$work/damaged/game.exe"
check damaged 0
expect damaged "no comparison with the file, and why" \
    '.games[0].file_problem == "the game'"'"'s file is damaged: it ends before the data of its sections (truncated)" and ([.games[0].sites[] | .file] | unique == [null])'
expect damaged "the plugin's places still recognised" \
    '[.games[0].sites[] | select(.what | test("hook|after|steering")) | .state] == ["plugin", "plugin", "plugin", "plugin"] and ([.games[0].sites[] | select(.what | test("pool|sliders")) | .state] | unique == ["not-plugin"])'
end_games

# Two games at once: both, in the order of their ids.
make_game first "$examples"
make_game second "$data/all-flags"
start first
start second
check two 0
expect two "both games" '(.games | length) == 2 and ([.games[] | .plugins[0].path | split("\\")[-3]] | sort == ["first", "second"]) and .games[0].pid < .games[1].pid'
head -n 1 "$work/two.txt" | grep -qxF "OK: ZorbelKavrin is working in all 2 running games: every place as it writes them, with the values ZorbelKavrin.ini gives now" ||
    fail "two: the verdict: $(head -n 1 "$work/two.txt")"
end_games

[ $status = 0 ] && echo "ok: zk-check --running reads the running games: active, edited, bare, refused, conflict, damaged, two"
exit $status
