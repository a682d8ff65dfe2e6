#!/bin/bash
# The report of the main command, as data: the default examples, a folder with
# every switch on, a split layout and an unsupported build.
set -u
bin=$1
data=$2
runner=$(dirname "$0")/../../scripts/run-pe.sh
status=0

# expect JSON DESCRIPTION JQ-EXPRESSION: the expression must give true.
expect() {
    if [ "$(printf '%s' "$1" | jq -e "$3" 2>/dev/null)" != "true" ]; then
        echo "FAILED: $2"
        echo "  jq: $3"
        status=1
    fi
}

report=$("$runner" "$bin" zk-hostsim.exe --json) || { echo "zk-hostsim failed"; exit 1; }
expect "$report" "default: supported and loaded" '.build_check.supported and .build_check.loaded and (.build_check.messages | length == 0)'
expect "$report" "default: settings" '.settings_found and .global.FrontSteerAngle == 340 and (.global.ExpandMemoryPools | not)'
expect "$report" "default: five windows, each opened and restored" '(.protection_windows | length) == 10 and ([.protection_windows[] | .succeeded] | all)'
expect "$report" "default: the hooks and the no-operations, nothing unexpected" \
    '[.changes[] | .what | split(" ")[0:2] | join(" ")] == ["front steering", "level-of-detail hook:", "attribute value", "after the"] and ([.changes[] | .expected] | all)'
expect "$report" "default: the CALL reaches LodOverrideHook" '.changes[1].what | test("-> LodOverrideHook \\(ZorbelKavrin.asi\\+0x")'
expect "$report" "default: the example car gets its A" '.probes[0].result | startswith("\"BODY_A\"")'
expect "$report" "default: protections by name" '[.protection_windows[] | .protection_name] | unique == ["PAGE_EXECUTE_READ", "PAGE_EXECUTE_READWRITE"]'
expect "$report" "default: autosculpt not installed" '.probes[-1].result | endswith("(host'"'"'s own code ran)")'

all="Z:${data//\//\\}\\all-flags"
report=$("$runner" "$bin" zk-hostsim.exe --settings "$all" --json) || { echo "zk-hostsim failed"; exit 1; }
expect "$report" "all flags: settings" '.global.FrontSteerAngle == 400 and .global.ExpandMemoryPools and .global.InfiniteTuningSliders and .global.InfiniteAutosculptSliders'
expect "$report" "all flags: seventeen windows" '(.protection_windows | length) == 34'
expect "$report" "all flags: every site, nothing unexpected" '(.changes | length) == 14 and ([.changes[] | .expected] | all)'
expect "$report" "all flags: steering 45 -> 400" '.changes[0].before == "00 00 34 42" and .changes[0].after == "00 00 C8 43"'
expect "$report" "all flags: the tuning jump" '[.changes[] | select(.address == "0x5C18E6") | .after] == ["E9 C1 00 00 00"]'
expect "$report" "all flags: the autosculpt stub" '[.changes[] | select(.address == "0x7E7E79") | .what | test("-> AutosculptSliderStub")] == [true]'
expect "$report" "all flags: 2.56 in the slot" '.probes[-1].result == "[esp+4] = 0x4023D70A (2.56)"'

# Split: every switch on in the game folder's ZorbelKavrin.ini, the plugin in scripts\.
report=$("$runner" "$bin" zk-hostsim.exe --game "$all" --plugin-in scripts --json) || { echo "zk-hostsim failed"; exit 1; }
expect "$report" "split: the plugin in scripts reads none of the game folder's settings" \
    '(.plugin | endswith("\\scripts\\ZorbelKavrin.asi")) and (.settings_found | not) and .global.FrontSteerAngle == 340 and (.global.ExpandMemoryPools | not) and (.game_folder | endswith("all-flags"))'

report=$("$runner" "$bin" zk-hostsim.exe --entry-point 428C26 --json)
refused=$?
[ $refused = 1 ] || { echo "FAILED: unsupported: exit status $refused, want 1"; status=1; }
expect "$report" "unsupported: the message and no change" \
    '(.build_check.supported | not) and (.build_check.loaded | not) and .build_check.messages[0].text == "This .exe is not supported.\nPlease use the supported version 1.1 executable of the game." and (.changes | length) == 0 and (.protection_windows | length) == 0'

[ $status = 0 ] && echo "ok: the report says what the plugin did"
exit $status
