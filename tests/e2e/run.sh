#!/usr/bin/env bash
# End-to-end test of the live medium: boots it under QEMU against the disk of
# a locked Windows 7 and checks the disk afterwards from the host.
#
#   tests/e2e/run.sh [--screenshot]
#
# 1. The image: scripts/live/build-image.sh over the build folder (the base
#    comes from its cache; only the product archive is new).
# 2. The disk: tests/e2e/make_locked_disk.sh (MBR, FAT D: then NTFS C:, the
#    locker in SOFTWARE and in both users' NTUSER.DAT); the same pass is run
#    on a copy of its files on the host as the reference.
# 3. Unattended: the kernel and initrd booted with morvalin.auto=1, the ISO
#    plugged in as a USB stick (never to be mounted as a target; its MORVLOG
#    partition keeps the log). The guest must end with "MORVALIN-RESULT: pass
#    rc=0" on the serial line and power off; then the disk image is read back
#    (ntfs-3g read-only, mtools) and tests/e2e/check_healed.py checks the hives
#    are healed (our own check, hivex, the host's reference) and nothing else
#    changed; the log on the stick must show the installation under the letter
#    its MountedDevices gives it (c:, though its volume is the second
#    partition).
#    Then the same over a Windows left hibernated: its volume is mounted
#    read-only, the console says so in Russian, the pass says why it leaves it
#    alone, and nothing on the disk changes.
# 4. The windows: the ISO booted from a CD drive (BIOS, GRUB's default entry);
#    the toolbar must appear on the framebuffer (screen dumps through QMP);
#    a click on "ЗАКРЫТЬ" must unmount, sync and power off, with the disk
#    unchanged. --screenshot copies the dump to docs/screenshots/live-toolbar.png.
#
# Every QEMU run is under `timeout`. A boot that never reaches the product
# is told apart from a product that fails by the guest's result line.
#
# Environment: MORVALIN_E2E_BUILD (build/release), MORVALIN_TESTDATA,
# MORVALIN_E2E_SECONDS (time limit of each QEMU run, 300), MORVALIN_E2E_ACCEL
# (kvm or tcg; without it KVM where a short probe boot shows it works), and those of
# scripts/live/build-image.sh (MORVALIN_E2E_BREAK=noop|exit breaks the product).
set -euo pipefail
cd "$(dirname "$0")/../.."
repo=$PWD
build=$(cd "${MORVALIN_E2E_BUILD:-$repo/build/release}" && pwd)
testdata=${MORVALIN_TESTDATA:-$repo/tests/data}
seconds=${MORVALIN_E2E_SECONDS:-300}
shot=0
[ "${1:-}" = "--screenshot" ] && shot=1
work=$build/e2e
cli=$build/cli/morvalin-cli

step() { echo "e2e: $*"; }
fail() {
    echo "e2e: FAIL: $*" >&2
    exit 1
}
serial_tail() {
    echo "--- the last lines of the guest's serial console ($1):" >&2
    tail -n 25 "$1" | tr -d '\r' >&2 || true
    echo "---" >&2
}

[ -x "$cli" ] && [ -x "$build/ui/morvalin" ] ||
    fail "no morvalin or morvalin-cli in $build: build them first"
rm -rf "$work"
mkdir -p "$work"

step "the image"
bash scripts/live/build-image.sh "$build" "$work/live"

step "the locked disk"
bash tests/e2e/make_locked_disk.sh "$cli" "$testdata" "$work/disk" >/dev/null
layout() { sed -n "s/^$1=//p" "$work/disk/layout"; }
ntfs_start=$(layout ntfs_start)
ntfs_size=$(layout ntfs_size)
fat_start=$(layout fat_start)
cp -a "$work/disk/tree" "$work/reference"
"$cli" auto --drive "c=$work/reference/c" --drive "d=$work/reference/d" --restore-files none \
    --color never >"$work/reference.log" || fail "the reference pass on the host failed"

mnt=$work/mnt
guest=
cleanup() {
    umount "$mnt" 2>/dev/null || true
    if [ -n "$guest" ]; then
        kill "$guest" 2>/dev/null || true
    fi
}
trap cleanup EXIT

# read_back DISK FOLDER: the volumes' files as the guest left them.
read_back() {
    local disk=$1 folder=$2
    mkdir -p "$folder/c" "$folder/d" "$mnt"
    dd if="$disk" of="$work/ntfs.img" bs=1M skip=$((ntfs_start / 1048576)) \
        count=$((ntfs_size / 1048576)) status=none
    ntfs-3g -o ro "$work/ntfs.img" "$mnt" || fail "the NTFS volume does not mount after the run"
    cp -r "$mnt/." "$folder/c/"
    umount "$mnt"
    rm -f "$work/ntfs.img"
    mcopy -s -n -m -i "$disk@@$fat_start" '::*' "$folder/d/" ||
        fail "the FAT volume cannot be read after the run"
}

# The accelerator: KVM only where it really runs a guest. A /dev/kvm that is
# there and writable can still be useless (no vmx/svm for this machine: QEMU
# warns and the guest never prints), so a short boot of the medium's kernel
# alone must reach its serial line within a few seconds, else TCG.
# MORVALIN_E2E_ACCEL=kvm|tcg decides instead.
kvm_works() {
    [ -w /dev/kvm ] || return 1
    local probe=$work/serial-kvm-probe.log
    rm -f "$probe"
    timeout -k 2 "${MORVALIN_E2E_KVM_PROBE_SECONDS:-10}" qemu-system-x86_64 -machine q35 \
        -accel kvm -m 256 -smp 1 -display none -no-reboot -nic none \
        -kernel "$work/live/vmlinuz" -append "console=ttyS0 panic=-1" \
        -serial "file:$probe" >/dev/null 2>&1 || true
    grep -aq 'Linux version' "$probe" 2>/dev/null
}
case "${MORVALIN_E2E_ACCEL:-}" in
kvm | tcg) accel=$MORVALIN_E2E_ACCEL ;;
"")
    accel=tcg
    if kvm_works; then
        accel=kvm
    elif [ -e /dev/kvm ]; then
        step "/dev/kvm is there but a guest under KVM prints nothing: TCG instead"
    fi
    ;;
*) fail "MORVALIN_E2E_ACCEL must be kvm or tcg, not '$MORVALIN_E2E_ACCEL'" ;;
esac
step "QEMU accelerator: $accel"
qemu=(timeout -k 10 "$seconds" qemu-system-x86_64 -machine q35 -accel "$accel" -m 1024 -smp 1
    -display none -no-reboot -nic none)

# boot_auto DISK SERIAL MEDIUM...: boots the kernel and initrd unattended
# against DISK, with the QEMU options MEDIUM for the boot medium; fails unless
# the pass ends.
boot_auto() {
    local disk=$1 serial=$2 rc=0 started
    shift 2
    started=$(date +%s)
    "${qemu[@]}" -kernel "$work/live/vmlinuz" -initrd "$work/live/initrd.img" \
        -append "console=ttyS0 morvalin.auto=1 panic=-1" \
        -drive "file=$disk,format=raw,if=ide" "$@" -serial "file:$serial" || rc=$?
    step "the guest ran $(($(date +%s) - started)) s (QEMU exit $rc)"
    if [ "$rc" -eq 124 ]; then
        serial_tail "$serial"
        fail "the guest did not power off within $seconds s"
    fi
    if grep -q 'MORVALIN-RESULT: fail' "$serial"; then
        serial_tail "$serial"
        fail "the product failed in the guest: $(grep -a 'MORVALIN-RESULT' "$serial" | tr -d '\r')"
    fi
    if ! grep -q 'MORVALIN-RESULT: pass rc=0' "$serial"; then
        serial_tail "$serial"
        fail "the guest never reached the end of the pass (a boot failure: no result line)"
    fi
}

# medium_log IMAGE: morvalin-auto.log from the FAT partition MORVLOG of IMAGE.
medium_log() {
    local image=$1 start
    for start in $(sfdisk -d "$image" 2>/dev/null | sed -n 's/.*start= *\([0-9]*\),.*/\1/p') 0; do
        if minfo -i "$image@@$((start * 512))" :: 2>/dev/null | grep -q 'label="MORVLOG'; then
            mtype -i "$image@@$((start * 512))" ::/morvalin-auto.log 2>/dev/null
            return
        fi
    done
}

step "unattended pass (QEMU, kernel and initrd, morvalin.auto=1, the ISO as a USB stick)"
cp "$work/disk/disk.img" "$work/auto.img"
cp "$work/live/morvalin.iso" "$work/stick.img"
boot_auto "$work/auto.img" "$work/serial-auto.log" -device qemu-xhci \
    -drive "if=none,id=stick,file=$work/stick.img,format=raw" \
    -device usb-storage,drive=stick,removable=on
read_back "$work/auto.img" "$work/after-auto"
/usr/bin/python3 tests/e2e/check_healed.py "$cli" "$work/disk/tree" "$work/after-auto" \
    "$work/reference" || fail "the disk after the unattended pass is not as it should be"
medium_log "$work/stick.img" >"$work/medium-auto.log"
[ -s "$work/medium-auto.log" ] || fail "no morvalin-auto.log on the stick's MORVLOG partition"
grep -q 'Путь к системе - c:\\Windows' "$work/medium-auto.log" ||
    fail "the log on the stick does not show the installation as c:\\Windows (its MountedDevices letter)"
grep -q 'Завершение автоматической проверки' "$work/medium-auto.log" ||
    fail "the log on the stick does not reach the end of the pass"

step "unattended pass over a hibernated Windows (its volume read-only, nothing changed)"
bash tests/e2e/make_locked_disk.sh "$cli" "$testdata" "$work/hibernated" hibernated >/dev/null
cp "$work/hibernated/disk.img" "$work/hibernated.img"
# The medium here: a fixed disk that holds just the log partition.
mformat -C -i "$work/log.img" -T 16384 -h 64 -s 32 -v MORVLOG ::
boot_auto "$work/hibernated.img" "$work/serial-hibernated.log" \
    -drive "file=$work/log.img,format=raw,if=virtio"
grep -q 'том /dev/sda2 подключён только для чтения: Windows на нём в спящем режиме' \
    "$work/serial-hibernated.log" ||
    fail "the console does not tell that the hibernated volume is mounted read-only"
medium_log "$work/log.img" >"$work/medium-hibernated.log"
grep -q 'Том в спящем режиме' "$work/medium-hibernated.log" ||
    fail "the pass does not tell why it leaves the hibernated Windows alone"
read_back "$work/hibernated.img" "$work/after-hibernated"
/usr/bin/python3 tests/e2e/check_healed.py "$cli" "$work/hibernated/tree" \
    "$work/after-hibernated" "$work/reference" --unchanged ||
    fail "the hibernated Windows changed"

step "the windows on the framebuffer (QEMU, the ISO on a CD drive)"
cp "$work/disk/disk.img" "$work/gui.img"
qmp=$work/qmp.sock
"${qemu[@]}" -cdrom "$work/live/morvalin.iso" -boot d -vga std \
    -drive "file=$work/gui.img,format=raw,if=ide" \
    -device qemu-xhci -device usb-tablet \
    -serial "file:$work/serial-gui.log" -qmp "unix:$qmp,server=on,wait=off" &
guest=$!
if ! toolbar_seconds=$(/usr/bin/python3 tests/e2e/qemu_screen.py wait-toolbar "$qmp" \
    "$work/serial-gui.log" "$work/toolbar.ppm" "$seconds"); then
    serial_tail "$work/serial-gui.log"
    fail "the toolbar did not appear on the framebuffer"
fi
step "the toolbar on the screen ${toolbar_seconds} s after QEMU started"
convert "$work/toolbar.ppm" "$work/live-toolbar.png"
if [ "$shot" -eq 1 ]; then
    mkdir -p docs/screenshots
    cp "$work/live-toolbar.png" docs/screenshots/live-toolbar.png
    step "docs/screenshots/live-toolbar.png written"
fi
/usr/bin/python3 tests/e2e/qemu_screen.py click-close "$qmp" "$work/toolbar.ppm" ||
    fail "no \"ЗАКРЫТЬ\" to click on the screen"
rc=0
wait "$guest" || rc=$?
guest=
if [ "$rc" -ne 0 ] || ! grep -q 'MORVALIN-RESULT: gui-closed' "$work/serial-gui.log"; then
    serial_tail "$work/serial-gui.log"
    fail "\"ЗАКРЫТЬ\" did not end the program and power off (QEMU exit $rc)"
fi
read_back "$work/gui.img" "$work/after-gui"
/usr/bin/python3 tests/e2e/check_healed.py "$cli" "$work/disk/tree" "$work/after-gui" \
    "$work/reference" --unchanged || fail "the disk changed though nothing was done in the windows"
# The disk images are big; the logs and the screen shot (PNG) stay.
rm -f "$work"/*.img "$work"/disk/disk.img "$work"/hibernated/disk.img "$work/toolbar.ppm"
step "passed"
