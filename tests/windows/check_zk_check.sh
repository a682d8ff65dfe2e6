#!/bin/bash
# zk-check.exe under Wine gives the native checker's report on the same folder
# (paths aside: backslashes, and the folder given as a Windows path).
set -u
bin=$1
data=$2
runner=$(dirname "$0")/../../scripts/run-pe.sh
status=0
for case in mistakes:1 clean:0 nokey:1 wide:2 wide32:2 pasted:1; do
    name=${case%%:*}
    want=${case##*:}
    windows_data="Z:${data//\//\\}"
    output=$("$runner" "$bin" zk-check.exe --plugin-dir "$windows_data\\$name" --json)
    got=$?
    # A Windows console program ends its lines in CR LF.
    normal=$(printf '%s\n' "$output" | sed -e 's/\r$//' -e 's|\\\\|/|g' -e "s|Z:$data/||g")
    if [ "$got" != "$want" ]; then
        echo "$name: exit status $got, want $want"
        status=1
    fi
    if ! diff <(printf '%s\n' "$normal") "$data/$name.json"; then
        echo "$name: the report differs from $data/$name.json"
        status=1
    fi
done
[ $status = 0 ] && echo "ok: zk-check.exe agrees with the native checker"
exit $status
