#!/usr/bin/env bash
# Builds the Debian package: build/package/morvalin_<version>_amd64.deb.
#
#   scripts/package.sh [BUILD]      (BUILD: build/release)
#
# CPack's DEB generator over what `cmake --install` installs (both programs,
# tools/, the manual pages, bash completion, the licence and the test data's
# NOTICE), stripped, with Depends computed by dpkg-shlibdeps from the
# binaries' libraries. Prints the package's path on its last line.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-$root/build/release}
bash scripts/deps.sh >&2
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >&2
fi
cmake --build "$build" -j "$(nproc)" --target morvalin morvalin-cli >&2
out=$root/build/package
mkdir -p "$out"
rm -f "$out"/morvalin_*.deb
(cd "$build" && cpack -G DEB -B "$out" >&2)
rm -rf "$out/_CPack_Packages"
package=$(ls "$out"/morvalin_*_amd64.deb)
echo "$package"
