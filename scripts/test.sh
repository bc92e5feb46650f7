#!/usr/bin/env bash
# Builds everything and runs every test: the normal build, the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, the format check, and the
# fuzz targets for a bounded time. Usage: scripts/test.sh [--quick] (--quick
# skips the sanitizer build and the fuzzing).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
quick=0
[ "${1:-}" = "--quick" ] && quick=1

bash scripts/deps.sh

testdata=${MORVALIN_TESTDATA:-$root/tests/data}
jobs=$(nproc)

echo "== Сборка и тесты"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVALIN_WERROR=ON \
    -DMORVALIN_TESTDATA="$testdata" >/dev/null
cmake --build build/release -j "$jobs"
ctest --test-dir build/release -j "$jobs" --output-on-failure

echo "== Проверка форматирования"
bash scripts/format.sh --check

if [ "$quick" -eq 0 ]; then
    echo "== Сборка и тесты с AddressSanitizer и UndefinedBehaviorSanitizer"
    cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMORVALIN_WERROR=ON \
        -DMORVALIN_SANITIZE=ON -DMORVALIN_BENCH=OFF -DMORVALIN_TESTDATA="$testdata" >/dev/null
    cmake --build build/sanitize -j "$jobs"
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
        ctest --test-dir build/sanitize -j "$jobs" --output-on-failure

    echo "== Фаззинг"
    bash scripts/fuzz.sh "${MORVALIN_FUZZ_SECONDS:-60}"
fi

if [ "$quick" -eq 0 ]; then
    echo "== Пакет Debian в чистой системе"
    bash tests/package/run.sh build/release

    echo "== Живой носитель под QEMU"
    bash tests/e2e/run.sh
fi
