#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a bounded time (seconds,
# default 60 for the hive reader, half that for log recovery), the reader
# seeded with the shared test hives. Fails on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
testdata=${MORVALIN_TESTDATA:-$PWD/../shared/testdata}

CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DMORVALIN_FUZZ=ON -DMORVALIN_SANITIZE=ON >/dev/null
cmake --build build/fuzz -j "$(nproc)"

seeds=build/fuzz/seeds-hive
mkdir -p "$seeds"
find "$testdata/hives" -type f -exec cp -f {} "$seeds/" \;

# fuzz TARGET SECONDS [SEED_DIR]
fuzz() {
    local target=$1 time=$2
    local corpus=build/fuzz/corpus-$target log=build/fuzz/$target.log
    mkdir -p "$corpus"
    shift 2
    if ! "build/fuzz/fuzz/$target" -max_total_time="$time" -timeout=20 -rss_limit_mb=4096 \
        -print_final_stats=1 "$corpus" "$@" >"$log" 2>&1; then
        tail -n 60 "$log"
        echo "Фаззинг $target нашёл ошибку (журнал: $log)"
        exit 1
    fi
    grep -E '^stat::number_of_executed_units' "$log" || true
    echo "Фаззинг $target: находок нет за $time с"
}

fuzz hive_fuzz "$seconds" "$seeds"
fuzz log_recovery_fuzz "$((seconds / 2))"
