#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need (once: packages
# already present are not fetched again). Sourced or run by the other scripts.
set -euo pipefail

MORVALIN_PACKAGES=(
    cmake ninja-build g++ pkg-config clang-format      # the build and its format check
    libexpected-dev libfmt-dev libcli11-dev             # tl::expected, formatting, CLI parsing
    liblnk-dev libbfio-dev                              # shell link targets (liblnk.h includes libbfio.h)
    libgtest-dev libbenchmark-dev                       # tests, benchmarks
    clang libclang-rt-14-dev                            # fuzz targets (libFuzzer)
    libhivex-dev libhivex-bin python3-hivex             # tests: an independent hive reader/writer
    libregf-utils reglookup                             # tests: two more independent readers
    ntfs-3g attr fuse3                                  # tests: real NTFS volumes in image files
    binutils-mingw-w64-i686 binutils-mingw-w64-x86-64   # tests: windres and ld build real PE files
    locales                                             # tests: times in English and Russian locales
    qt6-base-dev                                        # the windows (Qt 6 Widgets, Test)
    libxrandr-dev                                       # display modes on X11 (toolbar "Сменить")
    fonts-wine                                          # a Tahoma-metric font with Cyrillic
    xvfb xauth imagemagick                              # screenshots of the real windows
    mmdebstrap                                          # the live medium's Debian root
    grub-pc-bin grub-efi-amd64-bin xorriso mtools       # its hybrid ISO (BIOS and UEFI) and log partition
    cpio zstd fdisk                                     # its initramfs archives; the test disk's partitions
    qemu-system-x86 seabios                             # the live medium's end-to-end test under QEMU
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

# Locales the tests format times in (the automatic log's time of day follows the
# locale): English with its 12-hour clock, and Russian as the live medium runs.
if command -v locale-gen >/dev/null && [ -w /etc/locale.gen ]; then
    wanted=()
    for name in en_US ru_RU; do
        if ! locale -a 2>/dev/null | grep -qix "${name}.utf8"; then
            wanted+=("$name")
        fi
    done
    if ((${#wanted[@]} > 0)); then
        for name in "${wanted[@]}"; do
            sed -i "s/^# *\(${name}.UTF-8 UTF-8\)/\1/" /etc/locale.gen
            grep -q "^${name}.UTF-8 UTF-8" /etc/locale.gen || echo "${name}.UTF-8 UTF-8" >>/etc/locale.gen
        done
        locale-gen >/dev/null
    fi
fi
