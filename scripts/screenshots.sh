#!/usr/bin/env bash
# Pictures of the real windows under Xvfb (an X server in memory), through
# Qt's X11 platform: the toolbar, the mode chooser, help, donation, the
# automatic window after a pass over a locked Windows made in a temporary
# folder, and the restore dialog; saved to docs/screenshots/. A picture of the
# whole screen with the docked toolbar is taken with ImageMagick's import.
# Environment: MORVALIN_TESTDATA (the test data), MORVALIN_SCREENSHOTS_BUILD
# (the build folder, build/release).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
testdata=${MORVALIN_TESTDATA:-$PWD/tests/data}
build=${MORVALIN_SCREENSHOTS_BUILD:-$PWD/build/release}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DMORVALIN_TESTDATA="$testdata" >/dev/null
cmake --build "$build" -j "$(nproc)" --target morvalin_screenshots morvalin
out=$PWD/docs/screenshots
mkdir -p "$out"

xvfb-run -a -s "-screen 0 1024x768x24" env QT_QPA_PLATFORM=xcb \
    "$build/tests/morvalin_screenshots" "$out"

# The whole screen with the toolbar docked at the top, as the program starts
# (over an empty drive: no disk of this machine is looked at).
empty=$(mktemp -d)
trap 'rm -rf "$empty"' EXIT
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    QT_QPA_PLATFORM=xcb "$1" --drive c="$3" &
    pid=$!
    sleep 3
    import -window root "$2/screen.png"
    kill "$pid"
' _ "$build/ui/morvalin" "$out" "$empty"
echo "Снимки окон: $out"
