#!/usr/bin/env bash
# Builds morvalin-cli and shows it at work on a locked computer's disk made in
# a temporary folder: a Windows XP installation whose SOFTWARE hive is grown
# from the real empty hive Windows wrote (by morvalin-cli itself), with two
# users holding a real XP NTUSER.DAT. Then morvalin-cli scan finds it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
testdata=${MORVALIN_TESTDATA:-$PWD/../shared/testdata}
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DMORVALIN_TESTDATA="$testdata" >/dev/null
cmake --build build/release -j "$(nproc)" --target morvalin-cli
cli=$PWD/build/release/cli/morvalin-cli

disk=$(mktemp -d)
trap 'rm -rf "$disk"' EXIT
config="$disk/c/WINDOWS/system32/config"
mkdir -p "$config"
cp "$testdata/hives/empty-hive" "$config/software"
chmod u+w "$config/software"
plant() { "$cli" hive set "$config/software" "$@" --windows xp >/dev/null; }
version='Microsoft\Windows NT\CurrentVersion'
plant "$version" ProductName REG_SZ 'Microsoft Windows XP'
plant "$version" BuildLab REG_SZ '2600.xpsp_sp3_gdr.080814-1236'
plant "$version" SystemRoot REG_SZ 'C:\WINDOWS'
plant "$version\\ProfileList" ProfilesDirectory REG_EXPAND_SZ '%SystemDrive%\Documents and Settings'
plant "$version\\Winlogon" Shell REG_SZ 'C:\Documents and Settings\All Users\winlock.exe'
plant "$version\\Winlogon" Userinit REG_SZ 'C:\WINDOWS\system32\userinit.exe,'
for user in Admin Бухгалтер; do
    mkdir -p "$disk/c/Documents and Settings/$user"
    cp "$testdata/hives/xp-ntuser.dat" "$disk/c/Documents and Settings/$user/NTUSER.DAT"
    chmod u+w "$disk/c/Documents and Settings/$user/NTUSER.DAT"
done
mkdir -p "$disk/d/Films"

set -x
"$cli" scan --drive "c=$disk/c" --drive "d=$disk/d"
"$cli" hive dump "$config/software" "$version\\Winlogon"
