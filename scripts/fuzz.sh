#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a bounded time (seconds,
# default 60), seeded with the shared test hives. Fails on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
testdata=${MORVALIN_TESTDATA:-$PWD/../shared/testdata}

CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DMORVALIN_FUZZ=ON -DMORVALIN_SANITIZE=ON >/dev/null
cmake --build build/fuzz -j "$(nproc)"

corpus=build/fuzz/corpus-hive
seeds=build/fuzz/seeds-hive
mkdir -p "$corpus" "$seeds"
find "$testdata/hives" -type f -exec cp -f {} "$seeds/" \;
log=build/fuzz/hive_fuzz.log
if ! build/fuzz/fuzz/hive_fuzz -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 \
    -print_final_stats=1 "$corpus" "$seeds" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "Фаззинг hive_fuzz нашёл ошибку (журнал: $log)"
    exit 1
fi
grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb)|^#[0-9]+.*DONE' "$log" || true
echo "Фаззинг hive_fuzz: находок нет за $seconds с"
