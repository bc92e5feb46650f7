#!/usr/bin/env bash
# Makes the hard disk of a computer a screen locker took over, as a raw disk
# image for QEMU:
#
#   make_locked_disk.sh MORVALIN_CLI TESTDATA OUT_FOLDER [hibernated]
#
# OUT_FOLDER/disk.img     an MBR disk (signature 0x4d56524e): partition 1 a FAT
#                         data volume (Windows' D:), partition 2 the NTFS system
#                         volume (C:) made with mkntfs and filled through ntfs-3g
# OUT_FOLDER/tree/        the same files as a folder tree (c/, d/), for the
#                         reference pass and the comparison afterwards
# OUT_FOLDER/layout       the partitions' start and size in bytes (NAME=VALUE),
#                         for the caller
#
# On C: a 64-bit Windows 7 whose SOFTWARE hive (grown from the real empty hive)
# has the locker in both Winlogon keys, whose SYSTEM hive names the volumes
# C: and D: in MountedDevices (so the letters are the installation's own, not
# the partition order), and two users with real Windows 7 NTUSER.DAT files,
# one of them with a Cyrillic name, each with the locker's shell, load entry
# and tool locks; plus the locker's program files and ordinary files that
# nothing may touch. With "hibernated", C: also holds the hibernation file of
# a Windows that was hibernated (or shut down with Fast Startup).
set -euo pipefail
cli=$1
testdata=$2
out=$3
hibernated=${4:-}
mkdir -p "$out"
out=$(cd "$out" && pwd)
tree=$out/tree
rm -rf "$tree"
mkdir -p "$tree/c" "$tree/d"

signature=4d56524e
fat_start=$((1024 * 1024))
fat_size=$((8 * 1024 * 1024))
ntfs_start=$((fat_start + fat_size))
ntfs_size=$((48 * 1024 * 1024))
disk_size=$((ntfs_start + ntfs_size + 1024 * 1024))

value() { "$cli" hive set "$@" --windows 7 >/dev/null; }
new_hive() {
    mkdir -p "$(dirname "$1")"
    cp "$2" "$1"
    chmod u+w "$1"
}
# The 12 bytes MountedDevices holds for an MBR volume: the disk signature and
# the partition's offset in bytes, little-endian.
mbr_volume() {
    python3 -c 'import struct,sys; print("hex:" + ",".join("%02x" % b for b in struct.pack("<IQ", int(sys.argv[1], 16), int(sys.argv[2]))))' "$1" "$2"
}

c=$tree/c
windows=$c/Windows
config=$windows/System32/config
locker='C:\ProgramData\winlock.exe'
new_hive "$config/SOFTWARE" "$testdata/hives/empty-hive"
new_hive "$config/SYSTEM" "$testdata/hives/empty-hive"
version='Microsoft\Windows NT\CurrentVersion'
winlogon="$version\\Winlogon"
software=$config/SOFTWARE
value "$software" "$version" ProductName REG_SZ 'Windows 7 Ultimate'
value "$software" "$version" BuildLab REG_SZ '7601.win7sp1_gdr.130828-1532'
value "$software" "$version" CurrentVersion REG_SZ '6.1'
value "$software" "$version" SystemRoot REG_SZ 'C:\Windows'
value "$software" "$version\\ProfileList" ProfilesDirectory REG_EXPAND_SZ '%SystemDrive%\Users'
value "$software" "$winlogon" Shell REG_SZ "explorer.exe,$locker"
value "$software" "$winlogon" Userinit REG_SZ "C:\\Windows\\system32\\userinit.exe,$locker"
value "$software" "$winlogon" Taskman REG_SZ "$locker"
value "$software" "Wow6432Node\\$winlogon" Shell REG_SZ "$locker"
value "$config/SYSTEM" MountedDevices '\DosDevices\C:' REG_BINARY "$(mbr_volume $signature $ntfs_start)"
value "$config/SYSTEM" MountedDevices '\DosDevices\D:' REG_BINARY "$(mbr_volume $signature $fat_start)"

policies='Software\Microsoft\Windows\CurrentVersion\Policies\System'
for user in Admin Бухгалтер; do
    profile=$c/Users/$user
    ntuser=$profile/NTUSER.DAT
    new_hive "$ntuser" "$testdata/hives/win7-ntuser.dat"
    roaming="C:\\Users\\$user\\AppData\\Roaming"
    value "$ntuser" "$policies" shell REG_SZ "$locker"
    value "$ntuser" 'Software\Microsoft\Windows NT\CurrentVersion\Winlogon' shell REG_SZ "$locker"
    value "$ntuser" 'Software\Microsoft\Windows NT\CurrentVersion\Windows' load REG_SZ \
        "$roaming\\mssvc32.exe"
    value "$ntuser" "$policies" DisableTaskMgr REG_DWORD 1
    value "$ntuser" "$policies" DisableRegistryTools REG_DWORD 1
    value "$ntuser" 'Software\Policies\Microsoft\Windows\System' DisableCMD REG_DWORD 1
    mkdir -p "$profile/AppData/Roaming" "$profile/Documents"
    printf 'MZ the locker of %s\n' "$user" >"$profile/AppData/Roaming/mssvc32.exe"
    printf 'Квартальный отчёт, %s\n' "$user" >"$profile/Documents/отчёт.txt"
done
mkdir -p "$c/ProgramData" "$windows/System32/drivers/etc"
printf 'MZ the locker\n' >"$c/ProgramData/winlock.exe"
printf '127.0.0.1       localhost\n' >"$windows/System32/drivers/etc/hosts"
printf 'MZ userinit\n' >"$windows/System32/userinit.exe"
printf 'Фильм\n' >"$tree/d/кино.txt"
if [ "$hibernated" = hibernated ]; then
    # The signature Windows writes at the start of a hibernation image.
    { printf 'HIBR' && head -c 65532 /dev/zero; } >"$c/hiberfil.sys"
fi
mkdir -p "$tree/d/Backup"
printf 'backup\n' >"$tree/d/Backup/list.txt"

# The NTFS volume: made on a plain file and filled through ntfs-3g.
rm -f "$out/ntfs.img"
truncate -s "$ntfs_size" "$out/ntfs.img"
mkntfs -F -Q -q -s 512 -L Windows7 -p $((ntfs_start / 512)) -H 64 -S 32 "$out/ntfs.img" 2>/dev/null
mnt=$out/mnt
mkdir -p "$mnt"
ntfs-3g "$out/ntfs.img" "$mnt"
trap 'umount "$mnt" 2>/dev/null || true' EXIT
# Whole files, as Windows writes them (a sparse NTFS file is not a hive
# the engine changes).
cp -r --sparse=never --preserve=timestamps "$c/." "$mnt/"
umount "$mnt"
trap - EXIT

# The FAT volume, through mtools (no mount needed).
rm -f "$out/fat.img"
mformat -C -i "$out/fat.img" -T $((fat_size / 512)) -h 64 -s 32 -H $((fat_start / 512)) -v DATA ::
MTOOLS_NO_VFAT=0 mcopy -s -m -i "$out/fat.img" "$tree/d/"* ::/

rm -f "$out/disk.img"
truncate -s "$disk_size" "$out/disk.img"
sfdisk -q "$out/disk.img" <<EOF
label: dos
label-id: 0x$signature
start=$((fat_start / 512)), size=$((fat_size / 512)), type=e
start=$((ntfs_start / 512)), size=$((ntfs_size / 512)), type=7
EOF
dd if="$out/fat.img" of="$out/disk.img" bs=1M seek=$((fat_start / 1048576)) conv=notrunc status=none
dd if="$out/ntfs.img" of="$out/disk.img" bs=1M seek=$((ntfs_start / 1048576)) conv=notrunc status=none
rm -f "$out/fat.img" "$out/ntfs.img"
rmdir "$mnt"
cat >"$out/layout" <<EOF
fat_start=$fat_start
fat_size=$fat_size
ntfs_start=$ntfs_start
ntfs_size=$ntfs_size
EOF
