#!/bin/bash
# run_fuzz.sh TARGET CORPUS SECONDS SOURCE: a bounded libFuzzer run, its corpus
# seeded from the project's settings files; any crash fails the run.
set -eu
target=$1
corpus=$2
seconds=$3
source=$4
mkdir -p "$corpus" "$corpus.seeds"
find "$source/tests/native/data" "$source/examples" "$source/tests/windows/data" -type f \
     \( -name '*.ini' -o -name '*.txt' -o -name '*.json' \) -size -64k -exec cp {} "$corpus.seeds/" \;
exec "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
     -artifact_prefix="$corpus." "$corpus" "$corpus.seeds"
