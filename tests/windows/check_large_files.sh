#!/bin/bash
# zk-check.exe (a 32-bit program) on a game folder with files far larger than its
# memory allows at once: a 1.1 GB DLL that names an .asi file across a boundary of
# the pieces it is read in, another that names one in its last bytes, and a 320 MB
# file of the package's checksum list (a 300 MB DLL ended the checker with
# bad_alloc when it read files whole). They are sparse, so they take no disk. The
# checker must find both loaders and the matching checksum, and its peak memory
# (VmHWM of the program's process, read while it runs) may exceed that of a run on
# the same folder with small files by at most BOUND MiB.
#
#   check_large_files.sh BIN [BOUND]
set -u
bin=$1
bound=${2:-32}
runner=$(dirname "$0")/../../scripts/run-pe.sh
work=$(mktemp -d /tmp/zk-large-XXXXXX)
trap 'rm -rf "$work"' EXIT
status=0
fail() { echo "FAILED: $*"; status=1; }

piece=$((1 << 20))
# folder SIZE LISTED: the game folder, its two DLLs SIZE bytes each and the listed
# file LISTED bytes (sparse).
folder() {
    local game=$work/game-$1
    mkdir -p "$game/scripts"
    : > "$game/game.exe"
    cp "$bin/ZorbelKavrin.asi" "$game/scripts/"
    for name in dinput8.dll winmm.dll; do truncate -s "$1" "$game/$name"; done
    truncate -s "$2" "$game/video.bik"
    # Across the boundary of piece 512 (the dot in one piece, "asi" in the next),
    # and 8 bytes before the end.
    printf 'scripts\\*.asi' | dd of="$game/dinput8.dll" bs=1 seek=$((512 * piece - 10)) conv=notrunc status=none
    printf 'x.asi' | dd of="$game/winmm.dll" bs=1 seek=$(($1 - 8)) conv=notrunc status=none
    (cd "$game" && sha256sum video.bik > ZorbelKavrin-SHA256SUMS.txt)
    echo "$game"
}

# run GAME: zk-check.exe on it; its report in $work/report, its peak memory in kB in
# $peak, its time in $seconds.
run() {
    local start end
    start=$(date +%s.%N)
    "$runner" "$bin" zk-check.exe "Z:${1//\//\\}" > "$work/report" 2>&1 &
    local runner_pid=$!
    peak=0
    while kill -0 "$runner_pid" 2>/dev/null; do
        for proc in /proc/[0-9]*; do
            { read -r name < "$proc/comm"; } 2>/dev/null && [ "$name" = zk-check.exe ] || continue
            hwm=$({ sed -n 's/^VmHWM:\s*\([0-9]*\) kB/\1/p' "$proc/status"; } 2>/dev/null)
            [ -n "$hwm" ] && [ "$hwm" -gt "$peak" ] && peak=$hwm
        done
        sleep 0.02
    done
    wait "$runner_pid"
    code=$?
    end=$(date +%s.%N)
    seconds=$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.1f", e - s }')
}

small=$(folder $((3 * piece)) $((3 * piece)))
run "$small"
small_peak=$peak
[ "$small_peak" -gt 0 ] || fail "no memory figure for the small run (its process was not seen)"

large=$(folder $((1100 * piece)) $((320 * piece)))
run "$large"
report=$(tr -d '\r' < "$work/report")
echo "small files: peak $small_peak kB; two 1.1 GB DLLs and a 320 MB listed file: peak $peak kB, $seconds s, exit $code"
[ "$code" = 0 ] || fail "exit status $code, want 0: $report"
win=$(sed 's|/|\\|g' <<< "Z:$large")
for loader in dinput8 winmm; do
    grep -qxF "ASI loader: $win\\$loader.dll (under Wine and Proton the game needs WINEDLLOVERRIDES=\"$loader=n,b\")" <<< "$report" ||
        fail "the loader $loader.dll is not found: $report"
done
grep -qxF "Checksums: 1 files match $win\\ZorbelKavrin-SHA256SUMS.txt" <<< "$report" ||
    fail "the large file's checksum does not match: $report"
[ $((peak - small_peak)) -le $((bound * 1024)) ] ||
    fail "the peak grew by $(((peak - small_peak) / 1024)) MiB with the large files (bound $bound MiB)"
[ $status = 0 ] && echo "ok: both loaders and the checksum found; the peak grew by $(((peak - small_peak) / 1024)) MiB (bound $bound MiB)"
exit $status
