#!/bin/bash
# The Windows tier as one self-contained folder: copied alone to a fresh place, its
# .cmd runs every scenario there (under Wine here, natively on a Windows runner).
set -u
folder=$1
runner=$2
[ -f "$folder/run-windows-tier.cmd" ] || { echo "no runner folder at $folder"; exit 1; }
place=$(mktemp -d /tmp/zk-runner.XXXXXX) || exit 1
trap 'rm -rf "$place"' EXIT
cp -r "$folder" "$place/windows-tier"
echo "runner folder: $(du -sh "$place/windows-tier" | cut -f1), $(find "$place/windows-tier" -type f | wc -l) files"
start=$(date +%s.%N)
"$runner" "$place/windows-tier" run-windows-tier.cmd >"$place/log" 2>&1
rc=$?
end=$(date +%s.%N)
grep -E '^\[  (PASSED|FAILED) |^\[==========\] [0-9]+ tests|^simhost-tests: under ' "$place/log"
# A report per run beside the .cmd, and its last line counts them all.
for report in report-own.xml report-932.xml report-65001.xml; do
    [ -s "$place/windows-tier/$report" ] || { echo "no $report beside the .cmd"; rc=1; }
done
last=$(tr -d '\r' < "$place/log" | grep -v '^$' | tail -n 1)
echo "last line: $last"
[[ $last =~ ^windows-tier:\ [1-9][0-9]*\ passed,\ 0\ failed,\ [0-9]+\ skipped\;\ strict\ layer\ on\ \(3\ of\ 3\ runs\),\ under\ Wine ]] ||
    { echo "the .cmd's last line is not the summary of three strict runs"; rc=1; }
awk -v s="$start" -v e="$end" -v rc="$rc" 'BEGIN { printf "run time: %.1f s, exit %d\n", e - s, rc }' 
[ $rc -eq 0 ] || tail -40 "$place/log"
exit $rc
