#!/usr/bin/env bash
# Builds morvalin-cli and shows its main job on a locked computer made in a
# temporary folder: a Windows XP installation that a screen locker took over
# the way real ones do it, with two users.
#
#   SOFTWARE   Winlogon: Shell and Userinit lists with the locker's programs
#              after the system's own, Taskman and GinaDll pointing at it
#   NTUSER.DAT shell in the user policies and in the user's Winlogon key, a
#              "load" program, Task Manager, the registry editor and the
#              command line blocked by policy
#   system32   taskmgr.exe replaced by the locker's program
#
# The hives are grown by morvalin-cli itself from the real empty hive and the
# real XP NTUSER.DAT of the test data; the program files are real PE
# files with version resources (built by binutils' windres and ld). Then:
# morvalin-cli scan finds the installation; a first automatic pass heals the
# registry and, the restore dialog closed, reports the replaced file; a second
# pass, told to restore the system files from the program's clean copies,
# finds everything else healthy.
#
# With --gui (and a display), the windows are opened over the same locked
# computer instead: the toolbar's "СТАРТ" opens the mode chooser, whose
# countdown starts the automatic pass.
#
# Environment: MORVALIN_TESTDATA (the test data), MORVALIN_DEMO_BUILD
# (the build folder, build/demo).
set -euo pipefail
cd "$(dirname "$0")/.."
gui=0
[ "${1:-}" = "--gui" ] && gui=1
if [ "$gui" -eq 1 ] && [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "demo.sh --gui: нет дисплея (DISPLAY не задан); без --gui демонстрация идёт в терминале" >&2
    exit 2
fi
testdata=${MORVALIN_TESTDATA:-$PWD/tests/data}
build=${MORVALIN_DEMO_BUILD:-$PWD/build/demo}
if [ "$gui" -eq 1 ]; then
    bash scripts/deps.sh demo-gui
    gui_option=ON
else
    bash scripts/deps.sh demo
    gui_option=OFF
fi
# Only what the demonstration runs: no tests, no benchmarks.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVALIN_TESTS=OFF \
    -DMORVALIN_BENCH=OFF -DMORVALIN_GUI="$gui_option" >/dev/null
targets=(morvalin-cli)
[ "$gui" -eq 1 ] && targets+=(morvalin)
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"
cli=$build/cli/morvalin-cli

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
disk=$work/disk
windows=$disk/c/WINDOWS
system32=$windows/system32
software=$system32/config/software
backup=$work/BACKUP
mkdir -p "$system32/config" "$system32/dllcache" "$backup" "$disk/d/Films"

# A PE file with a version resource: FILE INTERNAL ORIGINAL DESCRIPTION
# [COMPANY PRODUCT COPYRIGHT], the Russian edition's strings by default.
make_pe() {
    local file=$1 internal=$2 original=$3 description=$4
    local company=${5:-Корпорация Майкрософт}
    local product=${6:-Операционная система Microsoft® Windows®}
    local copyright=${7:-© Корпорация Майкрософт. Все права защищены.}
    local rc=$work/version.rc object=$work/version.o
    cat >"$rc" <<EOF
#pragma code_page(65001)
1 VERSIONINFO
FILEVERSION 5,1,2600,5512
PRODUCTVERSION 5,1,2600,5512
FILEOS 0x40004
FILETYPE 0x1
BEGIN
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "041904b0"
    BEGIN
      VALUE "CompanyName", "$company"
      VALUE "FileDescription", "$description"
      VALUE "FileVersion", "5.1.2600.5512 (xpsp.080413-2111)"
      VALUE "InternalName", "$internal"
      VALUE "LegalCopyright", "$copyright"
      VALUE "OriginalFilename", "$original"
      VALUE "ProductName", "$product"
      VALUE "ProductVersion", "5.1.2600.5512"
    END
  END
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x0419, 1200
  END
END
EOF
    i686-w64-mingw32-windres --preprocessor=cpp -c 65001 -O coff -i "$rc" -o "$object"
    i686-w64-mingw32-ld --entry 0 -o "$file" "$object"
}
taskmgr() { make_pe "$1" taskmgr taskmgr.exe 'Диспетчер задач Windows'; }
userinit() { make_pe "$1" userinit USERINIT.EXE 'Приложение Userinit для входа в систему'; }

# The installation's own files, the locker's taskmgr.exe, and the clean
# copies that come with the program.
userinit "$system32/userinit.exe"
userinit "$system32/dllcache/userinit.exe"
taskmgr "$system32/dllcache/taskmgr.exe"
make_pe "$system32/taskmgr.exe" winlock winlock.exe 'Windows Security Center' \
    'Microsoft Corporation' 'Windows Security' '(c) 2010'
taskmgr "$backup/taskmgr.exe"
userinit "$backup/userinit.exe"

# value FILE KEY NAME TYPE DATA: plants a value as Windows XP writes it.
value() { "$cli" hive set "$@" --windows xp >/dev/null; }
new_hive() {
    mkdir -p "$(dirname "$1")"
    cp "$2" "$1"
    chmod u+w "$1"
}

new_hive "$software" "$testdata/hives/empty-hive"
version='Microsoft\Windows NT\CurrentVersion'
winlogon="$version\\Winlogon"
value "$software" "$version" ProductName REG_SZ 'Microsoft Windows XP'
value "$software" "$version" BuildLab REG_SZ '2600.xpsp_sp3_gdr.080814-1236'
value "$software" "$version" SystemRoot REG_SZ 'C:\WINDOWS'
value "$software" "$version\\ProfileList" ProfilesDirectory REG_EXPAND_SZ \
    '%SystemDrive%\Documents and Settings'
value "$software" "$winlogon" Shell REG_SZ \
    'Explorer.exe,C:\Documents and Settings\All Users\Application Data\csrss32.exe'
value "$software" "$winlogon" Userinit REG_SZ \
    'C:\WINDOWS\system32\userinit.exe,C:\WINDOWS\system32\wininit32.exe,'
value "$software" "$winlogon" Taskman REG_SZ 'C:\WINDOWS\system32\taskmon32.exe'
value "$software" "$winlogon" GinaDll REG_SZ 'C:\WINDOWS\system32\msgina32.dll'

policies='Software\Microsoft\Windows\CurrentVersion\Policies\System'
for user in Admin Бухгалтер; do
    ntuser="$disk/c/Documents and Settings/$user/NTUSER.DAT"
    new_hive "$ntuser" "$testdata/hives/xp-ntuser.dat"
    data="C:\\Documents and Settings\\$user\\Application Data"
    value "$ntuser" "$policies" shell REG_SZ "$data\\csrss32.exe"
    value "$ntuser" 'Software\Microsoft\Windows NT\CurrentVersion\Winlogon' shell REG_SZ \
        "$data\\csrss32.exe"
    value "$ntuser" 'Software\Microsoft\Windows NT\CurrentVersion\Windows' load REG_SZ \
        "$data\\svchost.exe"
    value "$ntuser" "$policies" DisableTaskMgr REG_DWORD 1
    value "$ntuser" "$policies" DisableRegistryTools REG_DWORD 1
    value "$ntuser" 'Software\Policies\Microsoft\Windows\System' DisableCMD REG_DWORD 1
done

drives=(--drive "c=$disk/c" --drive "d=$disk/d")
show() {
    printf '\n\033[1m$ %s\033[0m\n' "$*" | sed "s|$work|\$TMP|g; s|$cli|morvalin-cli|g"
    "$@"
}
if [ "$gui" -eq 1 ]; then
    show "$build/ui/morvalin" "${drives[@]}" --backup-dir "$backup"
    exit 0
fi
show "$cli" scan "${drives[@]}"
show "$cli" auto "${drives[@]}" --restore-files none --color=always
echo
echo "Ключи и политики вылечены; taskmgr.exe остался чужим: окно восстановления было закрыто."
echo "Второй проход восстанавливает его из чистых копий (--restore-files all) и больше ничего не находит."
show "$cli" auto "${drives[@]}" --restore-files all --backup-dir "$backup" --color=always
show "$cli" hive dump "$software" "$winlogon"
cmp "$backup/taskmgr.exe" "$system32/taskmgr.exe" && echo "taskmgr.exe восстановлен."
