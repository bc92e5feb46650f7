#!/usr/bin/env bash
# Builds the live medium from a build folder of the product:
#
#   scripts/live/build-image.sh [BUILD [OUT]]     (BUILD: build/release, OUT: BUILD/live)
#
# As root (mmdebstrap builds the root as root). Installs what it needs
# (scripts/deps.sh) and builds morvalin and morvalin-cli in BUILD first.
#
# The base (Debian root and kernel, build-base.sh) comes from its cache; the
# product goes on top as a small archive of its own: /init, and /opt/morvalin
# with morvalin, morvalin-cli, tools/ and an empty BACKUP folder (the clean
# copies of taskmgr.exe and userinit.exe the program restores from; Microsoft's
# files are not ours to ship). The kernel unpacks both archives in turn.
#
# OUT receives:
#   vmlinuz, initrd.img   the kernel and the whole root (base + product), to boot
#                         directly (QEMU's -kernel and -initrd)
#   morvalin.iso          a hybrid image for a CD or a USB stick, bootable by BIOS
#                         and UEFI (GRUB), with a small FAT partition MORVLOG
#                         where the unattended pass keeps its log
#
# Environment: MORVALIN_LIVE_ISO=0 skips the ISO. MORVALIN_E2E_BREAK=noop
# (or 1) puts a morvalin-cli that heals nothing into the archive, =exit one
# that fails: a broken product for checking that the end-to-end test notices.
set -euo pipefail
export LC_ALL=C
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
log() { echo "build-image: $*" >&2; }

bash "$repo/scripts/deps.sh" >&2
build=${1:-$repo/build/release}
if [ ! -f "$build/CMakeCache.txt" ] && [ ! -x "$build/ui/morvalin" ]; then
    cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DMORVALIN_TESTDATA="${MORVALIN_TESTDATA:-$repo/tests/data}" >&2
fi
if [ -f "$build/CMakeCache.txt" ]; then
    cmake --build "$build" -j "$(nproc)" --target morvalin morvalin-cli >&2
fi
build=$(cd "$build" && pwd)
out=${2:-$build/live}

gui=$build/ui/morvalin
cli=$build/cli/morvalin-cli
for binary in "$gui" "$cli"; do
    [ -x "$binary" ] || {
        log "no $binary: build the targets morvalin and morvalin-cli first"
        exit 1
    }
done

mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The programs come from the Debian package of the same build, as a
# technician's own Linux installs them.
package=$(bash "$repo/scripts/package.sh" "$build" | tail -n1)
log "package $package"
dpkg-deb -x "$package" "$work/package"
gui=$work/package/usr/bin/morvalin
cli=$work/package/usr/bin/morvalin-cli
base=$(bash "$here/build-base.sh" "$gui" "$cli" | tail -n1)

product=$work/product
app=$product/opt/morvalin
mkdir -p "$app/BACKUP" "$app/tools"
install -m 755 "$here/init" "$product/init"
install -m 755 "$gui" "$app/morvalin"
install -m 755 "$cli" "$app/morvalin-cli"
cp -a "$work/package/usr/lib/morvalin/tools/." "$app/tools/"
case ${MORVALIN_E2E_BREAK:-} in
"" | 0) ;;
exit)
    log "MORVALIN_E2E_BREAK: morvalin-cli fails"
    printf '#!/bin/sh\necho "morvalin-cli: сломан нарочно" >&2\nexit 1\n' >"$app/morvalin-cli"
    ;;
*)
    log "MORVALIN_E2E_BREAK: morvalin-cli heals nothing"
    printf '#!/bin/sh\necho "morvalin-cli: ничего не делает"\nexit 0\n' >"$app/morvalin-cli"
    ;;
esac
chmod 755 "$app/morvalin-cli"
(cd "$product" && find . -mindepth 1 | sort | cpio --quiet -o -H newc -R 0:0 --reproducible) |
    zstd -q -T0 -10 >"$work/product.cpio.zst"

cp "$base/vmlinuz" "$out/vmlinuz"
cat "$base/base.cpio.zst" "$work/product.cpio.zst" >"$out/initrd.img"
log "product archive $(du -h --apparent-size "$work/product.cpio.zst" | cut -f1)," \
    "initrd $(du -h --apparent-size "$out/initrd.img" | cut -f1) (kernel $(cat "$base/kernel"))"

[ "${MORVALIN_LIVE_ISO:-1}" = 0 ] && exit 0

iso=$work/iso
mkdir -p "$iso/boot/grub"
cp "$out/vmlinuz" "$out/initrd.img" "$iso/boot/"
cp "$here/grub.cfg" "$iso/boot/grub/grub.cfg"
# The log partition: 8 MiB of FAT appended to the image (a USB stick shows it
# as a partition of its own; on a CD it stays out of reach, and the log is
# only on the screen).
mformat -C -i "$work/log.img" -T 16384 -h 64 -s 32 -v MORVLOG :: >/dev/null
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-1700000000} grub-mkrescue -o "$out/morvalin.iso" "$iso" \
    -- -volid MORVALIN -append_partition 3 0x0c "$work/log.img" 2>"$work/grub.log" || {
    cat "$work/grub.log" >&2
    exit 1
}
log "$out/morvalin.iso $(du -h --apparent-size "$out/morvalin.iso" | cut -f1)"
