#!/usr/bin/env bash
# Builds the live medium's base: a Debian bookworm root (mmdebstrap) with the
# Debian kernel, packed as one compressed cpio archive to boot as the
# initramfs, and the kernel beside it. The product itself is not in it: it goes
# on top as a small archive (build-image.sh), so the base is built once and
# kept in a cache keyed on what goes into it.
#
#   scripts/live/build-base.sh BINARY...
#
# BINARY are the product's programs: the Debian packages of the libraries they
# are linked against join the root (read with ldd and dpkg -S), so a new
# library of the product makes a new base by itself.
#
# Prints the base folder on its last line: vmlinuz, base.cpio.zst, kernel
# (the kernel's version) and packages (what the root was made from).
#
# Environment: MORVALIN_LIVE_CACHE (default ${XDG_CACHE_HOME:-~/.cache}/morvalin-live;
# it keeps the bases and the downloaded packages), MORVALIN_LIVE_MIRROR
# (http://deb.debian.org/debian), MORVALIN_LIVE_REBUILD=1 builds the base
# again even when the cache holds one.
set -euo pipefail
export LC_ALL=C
here=$(cd "$(dirname "$0")" && pwd)
log() { echo "build-base: $*" >&2; }
die() {
    log "$*"
    exit 1
}

(($# > 0)) || die "usage: build-base.sh BINARY..."
[ "$(id -u)" -eq 0 ] || die "needs root (mmdebstrap builds the root as root)"
for binary in "$@"; do
    [ -x "$binary" ] || die "no program at $binary"
done

cache=${MORVALIN_LIVE_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/morvalin-live}
mirror=${MORVALIN_LIVE_MIRROR:-http://deb.debian.org/debian}
security=${MORVALIN_LIVE_SECURITY_MIRROR:-http://deb.debian.org/debian-security}
archives=$cache/archives
mkdir -p "$archives"

packages=()
while read -r line; do
    line=${line%%#*}
    line=${line//[[:space:]]/}
    [ -n "$line" ] && packages+=("$line")
done <"$here/base-packages.list"

# The packages that own the product's libraries, in one dpkg query: each
# library under every name dpkg may know it by (usrmerge: /lib or /usr/lib,
# the link or its target).
mapfile -t libraries < <(ldd "$@" | awk '$2 == "=>" && $3 ~ /^\// { print $3 }' | sort -u)
names=()
for library in "${libraries[@]}"; do
    names+=("$library" "$(readlink -f "$library")" "${library#/usr}" "/usr$library")
done
declare -A owner=()
while IFS= read -r line; do
    owner[${line#*: }]=$(echo "${line%%: *}" | cut -d, -f1 | cut -d: -f1)
done < <(dpkg -S "${names[@]}" 2>/dev/null)
for library in "${libraries[@]}"; do
    package=
    for name in "$library" "$(readlink -f "$library")" "${library#/usr}" "/usr$library"; do
        package=${owner[$name]:-}
        [ -n "$package" ] && break
    done
    [ -n "$package" ] || die "no Debian package owns $library (needed by the product)"
    packages+=("$package")
done
mapfile -t packages < <(printf '%s\n' "${packages[@]}" | LC_ALL=C sort -u)

# The kernel: the package linux-image-amd64 points at now.
kernel_package=$(apt-cache depends linux-image-amd64 2>/dev/null |
    awk '/Depends: linux-image-[0-9]/ { print $2; exit }')
[ -n "$kernel_package" ] || die "apt-cache knows no linux-image-amd64 (run apt-get update)"
kernel_version=$(apt-cache policy "$kernel_package" | awk '/Candidate:/ { print $2 }')

key=$(
    {
        cat "$here/build-base.sh" "$here/base-packages.list" "$here/modules.list"
        printf '%s\n' "${packages[@]}" "$kernel_package=$kernel_version" "$mirror" "$security"
    } | sha256sum | cut -c1-16
)
base=$cache/base-$key
if [ -f "$base/base.cpio.zst" ] && [ "${MORVALIN_LIVE_REBUILD:-0}" != 1 ]; then
    log "cached base $base"
    echo "$base"
    exit 0
fi

log "building base $key: ${packages[*]} + $kernel_package $kernel_version"
work=$(mktemp -d "$cache/work.XXXXXX")
trap 'rm -rf "$work"' EXIT
root=$work/root

# Nothing of the documentation, manuals and translations; nor Mesa's DRI
# drivers and LLVM, which Qt's GL libraries pull in and the framebuffer never
# loads.
excludes=(
    '/usr/share/doc/*' '/usr/share/man/*' '/usr/share/info/*' '/usr/share/locale/*'
    '/usr/share/lintian/*' '/usr/share/linda/*' '/usr/share/bug/*'
    '/usr/lib/x86_64-linux-gnu/dri/*' '/usr/lib/x86_64-linux-gnu/libLLVM-*'
    '/usr/lib/x86_64-linux-gnu/libz3.so*'
)
dpkg_options=()
for pattern in "${excludes[@]}"; do
    dpkg_options+=("--dpkgopt=path-exclude=$pattern")
done
dpkg_options+=("--dpkgopt=path-include=/usr/share/doc/*/copyright")

SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-1700000000} mmdebstrap \
    --variant=essential --mode=root \
    --include="$(
        IFS=,
        echo "${packages[*]}"
    )" \
    "${dpkg_options[@]}" \
    --skip=download/empty \
    --setup-hook='mkdir -p "$1"/var/cache/apt/archives' \
    --setup-hook="sync-in '$archives' /var/cache/apt/archives" \
    --customize-hook="sync-out /var/cache/apt/archives '$archives'" \
    --customize-hook='rm -f "$1"/var/cache/apt/archives/*.deb' \
    bookworm "$root" \
    "deb $mirror bookworm main" \
    "deb $mirror bookworm-updates main" \
    "deb $security bookworm-security main"

# usrmerge, and perl with it, comes in with the essential packages; the merged
# /usr needs neither once it is there (usr-is-merged stands for it).
chroot "$root" dpkg --purge usrmerge libfile-find-rule-perl libnumber-compare-perl \
    libtext-glob-perl perl perl-modules-5.36 libperl5.36 >/dev/null ||
    die "cannot remove usrmerge and perl from the root"

# The kernel, with just the modules of modules.list and what they need.
kernel_deb=$(find "$archives" -maxdepth 1 -name "${kernel_package}_*.deb" -print | sort | tail -n1)
if [ -z "$kernel_deb" ] || [[ $kernel_deb != *"_${kernel_version//:/%3a}_"* ]]; then
    (cd "$archives" && apt-get download -o APT::Sandbox::User=root "$kernel_package" >&2) ||
        die "cannot download $kernel_package (apt's lists may be old: run apt-get update)"
    kernel_deb=$(find "$archives" -maxdepth 1 -name "${kernel_package}_*.deb" -print | sort | tail -n1)
fi
dpkg-deb -x "$kernel_deb" "$work/kernel"
kver=$(basename "$(find "$work/kernel/lib/modules" -mindepth 1 -maxdepth 1 -type d | head -n1)")
modules=$root/usr/lib/modules/$kver
mkdir -p "$root/usr/lib/modules"
cp -a "$work/kernel/lib/modules/$kver" "$modules"
chroot "$root" depmod -a "$kver"
wanted=()
while read -r line; do
    line=${line%%#*}
    line=${line//[[:space:]]/}
    [ -n "$line" ] && wanted+=("$line")
done <"$here/modules.list"
: >"$work/keep"
for module in "${wanted[@]}"; do
    if ! chroot "$root" modprobe -S "$kver" --show-depends "$module" >"$work/depends" 2>/dev/null; then
        log "no module $module in $kver (left out)"
        continue
    fi
    awk '$1 == "insmod" { print $2 }' "$work/depends" >>"$work/keep"
done
sort -u "$work/keep" -o "$work/keep"
(cd "$root" && find "lib/modules/$kver/kernel" -type f | sed 's|^|/|' | sort) >"$work/all"
comm -23 "$work/all" "$work/keep" | sed "s|^|$root|" | xargs -r rm -f
find "$modules/kernel" -type d -empty -delete
rm -f "$modules/build" "$modules/source"
chroot "$root" depmod -a "$kver"
[ "$(find "$modules/kernel" -name '*.ko*' | wc -l)" -gt 0 ] || die "no kernel module kept"

# What PID 1 needs before devtmpfs is mounted, the fonts' cache, and nothing
# of the package manager's caches.
[ -e "$root/dev/console" ] || mknod -m 600 "$root/dev/console" c 5 1
[ -e "$root/dev/null" ] || mknod -m 666 "$root/dev/null" c 1 3
mkdir -p "$root/media" "$root/run" "$root/tmp"
echo morvalin >"$root/etc/hostname"
chroot "$root" fc-cache -s -f >/dev/null 2>&1 || true
rm -rf "$root"/var/lib/apt/lists/* "$root"/var/cache/apt/*.bin "$root"/var/log/* \
    "$root"/var/cache/debconf/*-old "$root"/var/lib/dpkg/*-old

mkdir -p "$work/out"
cp "$work/kernel/boot/vmlinuz-$kver" "$work/out/vmlinuz"
echo "$kver" >"$work/out/kernel"
chroot "$root" dpkg-query -W -f='${Package} ${Version}\n' >"$work/out/packages"
(cd "$root" && find . -mindepth 1 | LC_ALL=C sort |
    cpio --quiet -o -H newc -R 0:0 --reproducible) | zstd -q -T0 -12 >"$work/out/base.cpio.zst"
log "root $(du -sh --apparent-size "$root" | cut -f1), archive $(du -h --apparent-size "$work/out/base.cpio.zst" | cut -f1)"

# Only the newest base stays in the cache.
find "$cache" -mindepth 1 -maxdepth 1 -name 'base-*' -exec rm -rf {} +
mv "$work/out" "$base"
echo "$base"
