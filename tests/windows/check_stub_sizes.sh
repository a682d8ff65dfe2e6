#!/bin/bash
# The naked routines of ZorbelKavrin.asi, disassembled from the built DLL: their
# instruction counts up to the jump that leaves them, against what their contracts
# need. Prints the counts and the DLL's size.
set -u
objdump=$1
plugin=$2
map=$3
status=0

address_of() {
    awk -v name="$1" '$2 == name && $1 ~ /^0x/ { print $1; exit }' "$map"
}

# Instructions from the routine's start through its first unconditional jmp.
count_instructions() {
    local start=$1
    local stop
    stop=$(printf '0x%x' $((start + 96)))
    "$objdump" -d --no-show-raw-insn --start-address="$start" --stop-address="$stop" "$plugin" |
        awk '/^ *[0-9a-f]+:\t/ { n++; print > "/dev/stderr"; if ($2 == "jmp") { print n; exit } }'
}

check() {
    local name=$1 limit=$2 exact=$3
    local start count
    start=$(address_of "$name")
    if [ -z "$start" ]; then
        echo "FAILED: $name is not in $map"
        status=1
        return
    fi
    count=$(count_instructions "$start" 2>/tmp/zk-stub-$$.txt)
    echo "$name at $start: ${count:-?} instructions (limit $limit)"
    sed 's/^/    /' /tmp/zk-stub-$$.txt
    rm -f /tmp/zk-stub-$$.txt
    if [ -z "$count" ] || [ "$count" -gt "$limit" ] || { [ "$exact" = exact ] && [ "$count" -ne "$limit" ]; }; then
        echo "FAILED: $name"
        status=1
    fi
}

check AutosculptSliderStub 3 exact
check AttributeValueEntryStub 12 at-most
check LodOverrideHook 12 at-most
echo "ZorbelKavrin.asi: $(stat -c %s "$plugin") bytes"
exit $status
