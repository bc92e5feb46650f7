#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a bounded time (seconds,
# default 60 for the hive reader, half that for log recovery and the version
# reader), the hive reader seeded with the shared test hives, the version
# reader with PE files built here. Fails on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
testdata=${MORVALIN_TESTDATA:-$PWD/tests/data}

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

# The version reader starts from real PE files: 32- and 64-bit, built with
# windres and ld from a resource with two string tables and two translations.
version_seeds=build/fuzz/seeds-version
mkdir -p "$version_seeds"
cat >"$version_seeds/version.rc" <<'RC'
#pragma code_page(65001)
1 VERSIONINFO
FILEVERSION 5,1,2600,5512
PRODUCTVERSION 5,1,2600,5512
FILEFLAGSMASK 0x3f
FILEFLAGS 0x14
FILEOS 0x40004
FILETYPE 0x3
FILESUBTYPE 0x8
BEGIN
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "041904b0"
    BEGIN
      VALUE "CompanyName", "Корпорация Майкрософт"
      VALUE "FileDescription", "Диспетчер задач Windows"
      VALUE "InternalName", "taskmgr"
      VALUE "LegalCopyright", "© Корпорация Майкрософт. Все права защищены."
      VALUE "OriginalFilename", "taskmgr.exe"
      VALUE "ProductName", "Операционная система Microsoft® Windows®"
    END
    BLOCK "040904b0"
    BEGIN
      VALUE "CompanyName", "Microsoft Corporation"
    END
  END
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x0419, 1200, 0x0409, 1200
  END
END
RC
for arch in i686 x86_64; do
    "$arch-w64-mingw32-windres" --preprocessor=cpp -c 65001 -O coff \
        -i "$version_seeds/version.rc" -o "$version_seeds/version-$arch.o"
    "$arch-w64-mingw32-ld" --entry 0 -o "$version_seeds/version-$arch.exe" \
        "$version_seeds/version-$arch.o"
    rm -f "$version_seeds/version-$arch.o"
done
rm -f "$version_seeds/version.rc"

fuzz hive_fuzz "$seconds" "$seeds"
fuzz log_recovery_fuzz "$((seconds / 2))"
fuzz version_info_fuzz "$((seconds / 2))" "$version_seeds"
