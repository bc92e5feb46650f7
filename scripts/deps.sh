#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need (once: packages
# already present are not fetched again). Sourced or run by the other scripts.
set -euo pipefail

MORVALIN_PACKAGES=(
    cmake ninja-build g++ pkg-config clang-format      # the build and its format check
    libexpected-dev libfmt-dev libcli11-dev             # tl::expected, formatting, CLI parsing
    libgtest-dev libbenchmark-dev                       # tests, benchmarks
    clang libclang-rt-14-dev                            # fuzz targets (libFuzzer)
    libhivex-dev libhivex-bin python3-hivex             # tests: an independent hive reader/writer
    libregf-utils reglookup                             # tests: two more independent readers
    ntfs-3g attr fuse3                                  # tests: real NTFS volumes in image files
)

missing=()
for package in "${MORVALIN_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
if ((${#missing[@]} > 0)); then
    echo "Устанавливаются пакеты: ${missing[*]}"
    if [ "$(id -u)" -ne 0 ]; then
        SUDO=sudo
    else
        SUDO=
    fi
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
