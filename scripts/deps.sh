#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need (once: packages
# already present are not fetched again). Run by the other scripts.
set -euo pipefail

# deps.sh [demo|demo-gui|all]: what to install. "demo" is what the terminal
# demonstration builds and runs with (morvalin-cli alone), "demo-gui" adds the
# windows, "all" (the default) everything the tests, the live medium and its
# end-to-end test need.
what=${1:-all}

demo_packages=(
    cmake ninja-build g++ pkg-config                    # the build
    libexpected-dev libfmt-dev libcli11-dev             # tl::expected, formatting, CLI parsing
    liblnk-dev libbfio-dev                              # shell link targets (liblnk.h includes libbfio.h)
    binutils-mingw-w64-i686                             # windres and ld: the demo's XP program files
)
gui_packages=(
    qt6-base-dev                                        # the windows (Qt 6 Widgets, Test)
    libxrandr-dev                                       # display modes on X11 (toolbar "Сменить")
    fonts-wine                                          # a Tahoma-metric font with Cyrillic
)
test_packages=(
    clang-format                                        # the format check
    libgtest-dev libbenchmark-dev                       # tests, benchmarks
    clang libclang-rt-14-dev                            # fuzz targets (libFuzzer)
    libhivex-dev libhivex-bin python3-hivex             # tests: an independent hive reader/writer
    libregf-utils reglookup                             # tests: two more independent readers
    ntfs-3g attr fuse3                                  # tests: real NTFS volumes in image files
    binutils-mingw-w64-x86-64                           # tests: 64-bit PE files too
    locales                                             # tests: times in English and Russian locales
    xvfb xauth imagemagick                              # screenshots of the real windows
    mmdebstrap                                          # the live medium's Debian root; the package test
    dpkg-dev                                            # the package's Depends (dpkg-shlibdeps)
    grub-pc-bin grub-efi-amd64-bin xorriso mtools       # its hybrid ISO (BIOS and UEFI) and log partition
    cpio zstd fdisk                                     # its initramfs archives; the test disk's partitions
    qemu-system-x86 seabios                             # the live medium's end-to-end test under QEMU
)
case "$what" in
demo) MORVALIN_PACKAGES=("${demo_packages[@]}") ;;
demo-gui) MORVALIN_PACKAGES=("${demo_packages[@]}" "${gui_packages[@]}") ;;
all) MORVALIN_PACKAGES=("${demo_packages[@]}" "${gui_packages[@]}" "${test_packages[@]}") ;;
*)
    echo "deps.sh: demo, demo-gui или all, а не '$what'" >&2
    exit 2
    ;;
esac

missing=()
for package in "${MORVALIN_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
if ((${#missing[@]} > 0)); then
    # One line on the screen; apt's own progress goes to a log, shown only
    # when it fails.
    apt_log=${TMPDIR:-/tmp}/morvalin-apt.log
    echo "Устанавливаются пакеты: ${missing[*]} (ход установки: $apt_log)"
    if [ "$(id -u)" -ne 0 ]; then
        SUDO=sudo
    else
        SUDO=
    fi
    if ! { $SUDO apt-get update -qq &&
        DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends \
            "${missing[@]}"; } >"$apt_log" 2>&1; then
        tail -n 20 "$apt_log" >&2
        echo "deps.sh: пакеты не установлены (весь вывод apt-get: $apt_log)" >&2
        exit 1
    fi
fi

# Locales the tests format times in (the automatic log's time of day follows the
# locale): English with its 12-hour clock, and Russian as the live medium runs.
if [ "$what" = all ] && command -v locale-gen >/dev/null && [ -w /etc/locale.gen ]; then
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
