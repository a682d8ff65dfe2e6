#!/bin/bash
# Test folders too large to write through Wine in a test: made natively by the build.
set -eu
out=$1
cars=$out/cars10000/KavrinCars
if [ ! -f "$cars/CAR_9999.ini" ]; then
    rm -rf "$out/cars10000"
    mkdir -p "$cars"
    for ((i = 0; i < 10000; i++)); do
        printf '[GENERAL]\nForceLodA=%d\n' $(((i + 1) % 2)) > "$cars/CAR_$i.ini"
    done
fi
touch "$out/.made"
