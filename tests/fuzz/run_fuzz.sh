#!/bin/bash
# run_fuzz.sh TARGET CORPUS SECONDS SOURCE: a bounded libFuzzer run, its corpus
# seeded from the project's settings files; any crash fails the run.
set -eu
target=$1
corpus=$2
seconds=$3
source=$4
mkdir -p "$corpus" "$corpus.seeds"
# Each seed named by its whole path, so that files of one name in two folders are
# both seeds.
find "$source/tests/native/data" "$source/examples" "$source/tests/windows/data" -type f \
     \( -name '*.ini' -o -name '*.txt' -o -name '*.json' \) -size -64k -print0 |
    while IFS= read -r -d '' file; do
        relative=${file#"$source"/}
        cp "$file" "$corpus.seeds/${relative//\//__}"
    done
exec "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
     -artifact_prefix="$corpus." "$corpus" "$corpus.seeds"
