#!/usr/bin/env bash
# Builds morvalin-cli and shows it at work on a real hive written by Windows XP:
# the structural check, one key's values, one value.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
testdata=${MORVALIN_TESTDATA:-$PWD/../shared/testdata}
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DMORVALIN_TESTDATA="$testdata" >/dev/null
cmake --build build/release -j "$(nproc)" --target morvalin-cli
cli=build/release/cli/morvalin-cli
hive=$testdata/hives/xp-ntuser.dat

set -x
"$cli" hive check "$hive"
"$cli" hive dump "$hive" 'Software\Microsoft\Windows\CurrentVersion\Run'
"$cli" hive dump "$hive" 'Control Panel\Desktop'
"$cli" hive get "$hive" 'control panel\desktop' WALLPAPER
