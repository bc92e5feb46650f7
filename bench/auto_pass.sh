#!/usr/bin/env bash
# Times the automatic unlock pass (`morvalin-cli auto`) over a large locked
# computer, and again over the same computer once healed.
#
#   bench/auto_pass.sh
#
# The target, built once per run in $build/auto-pass: one Windows 10 (64-bit)
# installation on c: whose SOFTWARE hive is the ~100 MB hive of
# make_software_hive.py, with a locker's values planted in the native and the
# Wow6432Node Winlogon key (Shell and Userinit lists, Taskman, GinaDll); three
# users whose NTUSER.DAT are ~10 MB hives of the same generator, each with the
# six user values the pass heals (shell in the policies and in Winlogon, load,
# DisableRegistryTools, DisableTaskMgr, DisableCMD). The values are planted by
# morvalin-cli hive set, so the hives carry Windows 10 transaction logs.
#
# Each round copies the locked target afresh, drops its files from the page
# cache (the pass starts cold, as on a freshly booted medium), and runs
#   morvalin-cli auto --format jsonl --restore-files none
# over it twice: "locked" (everything to heal) and then "healed" (nothing to
# heal). Measured per run: wall time and peak RSS (/usr/bin/time), bytes the
# process handed to write() other than its log (wchar of /proc/PID/io minus
# the log on standard output), bytes it sent towards the disk (write_bytes;
# the log itself is kept in /dev/shm meanwhile),
# and which hive and log files changed (size, mtime and SHA-256 before and
# after). The healed run must change no file. The table shows the median of
# the rounds. These are figures to read, not a test.
#
# Environment: MORVALIN_BENCH_BUILD (build folder, build-bench, shared with
# bench/run.sh and its hive cache), MORVALIN_BENCH_REPEAT (rounds, 3),
# MORVALIN_TESTDATA (the test data).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${MORVALIN_BENCH_BUILD:-$root/build-bench}
repeat=${MORVALIN_BENCH_REPEAT:-3}
testdata=${MORVALIN_TESTDATA:-$root/tests/data}
hives=$build/hives
work=$build/auto-pass
results=$work/results.tsv
cli=$build/cli/morvalin-cli

prepare() {
    bash "$root/scripts/deps.sh"
    if [ ! -x /usr/bin/time ]; then
        local sudo=
        [ "$(id -u)" -eq 0 ] || sudo=sudo
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends time
    fi
    echo "== Сборка (Release) в $build"
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVALIN_BENCH=ON \
        -DMORVALIN_TESTDATA="$testdata" >/dev/null
    cmake --build "$build" -j 2 --target morvalin-cli
    echo "== Кусты 100 и 10 МБ (кэш в $hives)"
    /usr/bin/python3 "$root/bench/make_software_hive.py" --dir "$hives" \
        --empty-hive "$testdata/hives/empty-hive" --cli "$cli" 10 100
}

# set_value HIVE KEY NAME TYPE DATA
set_value() { "$cli" hive set "$@" --windows 10 >/dev/null; }

build_target() {
    local target=$work/locked
    echo "== Заблокированный компьютер в $target"
    rm -rf "$work"
    local software=$target/c/Windows/System32/config/SOFTWARE
    mkdir -p "$(dirname "$software")"
    cp "$hives/software-100mb.hive" "$software"
    local version='Microsoft\Windows NT\CurrentVersion' key
    set_value "$software" "$version\\ProfileList" ProfilesDirectory REG_EXPAND_SZ '%SystemDrive%\Users'
    for key in "$version\\Winlogon" "Wow6432Node\\$version\\Winlogon"; do
        set_value "$software" "$key" Shell REG_SZ 'explorer.exe,C:\ProgramData\WinLock\winlock.exe'
        set_value "$software" "$key" Userinit REG_SZ \
            'C:\Windows\system32\userinit.exe,C:\ProgramData\WinLock\winlock.exe,'
        set_value "$software" "$key" Taskman REG_SZ 'C:\ProgramData\WinLock\taskmon.exe'
        set_value "$software" "$key" GinaDll REG_SZ 'C:\ProgramData\WinLock\gina.dll'
    done
    local policies='Software\Microsoft\Windows\CurrentVersion\Policies\System' user ntuser locker
    for user in Admin Buh Guest; do
        ntuser=$target/c/Users/$user/NTUSER.DAT
        mkdir -p "$(dirname "$ntuser")"
        cp "$hives/software-10mb.hive" "$ntuser"
        locker="C:\\Users\\$user\\AppData\\Roaming\\winlock.exe"
        set_value "$ntuser" "$policies" shell REG_SZ "$locker"
        set_value "$ntuser" 'Software\Microsoft\Windows NT\CurrentVersion\Winlogon' shell REG_SZ \
            "$locker"
        set_value "$ntuser" 'Software\Microsoft\Windows NT\CurrentVersion\Windows' load REG_SZ \
            "$locker"
        set_value "$ntuser" "$policies" DisableRegistryTools REG_DWORD 1
        set_value "$ntuser" "$policies" DisableTaskMgr REG_DWORD 1
        set_value "$ntuser" 'Software\Policies\Microsoft\Windows\System' DisableCMD REG_DWORD 1
    done
    du -sh "$target" | sed 's/^/   /'
}

# Every file below a folder: path, size, mtime, SHA-256.
snapshot() {
    (cd "$1" && find . -type f -printf '%p\t%s\t%T@\n' | sort | while IFS=$'\t' read -r f s t; do
        printf '%s\t%s\t%s\t%s\n' "$f" "$s" "$t" "$(sha256sum <"$f" | cut -d' ' -f1)"
    done)
}

# Drops every file below a folder from the page cache.
drop_cache() {
    sync
    /usr/bin/python3 - "$1" <<'EOF'
import os, sys
for folder, _, names in os.walk(sys.argv[1]):
    for name in names:
        fd = os.open(os.path.join(folder, name), os.O_RDONLY)
        os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
        os.close(fd)
EOF
}

# measure ROUND KIND TARGET: one pass, one row of $results.
measure() {
    local round=$1 kind=$2 target=$3
    local log=$work/$kind-$round.jsonl figures=$work/figures io=$work/io
    # The log goes to memory (tmpfs) while the pass runs, so that the bytes
    # sent towards the disk are those of the hives and their logs alone.
    local memlog=$log
    [ -d /dev/shm ] && memlog=$(mktemp /dev/shm/morvalin-auto-pass.XXXXXX)
    snapshot "$target" >"$work/before"
    drop_cache "$target"
    # bash waits for the pass, so its own I/O counters then include the pass's.
    /usr/bin/time -f '%e %M' -o "$figures" bash -c \
        '"${@:3}" >"$1" && grep -E "^(wchar|write_bytes):" /proc/$$/io >"$2"' \
        _ "$memlog" "$io" "$cli" auto --drive "c=$target/c" --format jsonl --restore-files none
    [ "$memlog" = "$log" ] || mv "$memlog" "$log"
    snapshot "$target" >"$work/after"
    # The files whose size, mtime or content differ, or that came or went.
    { diff "$work/before" "$work/after" || true; } | awk -F'\t' '/^[<>]/ {print substr($1, 5)}' | sort -u \
        >"$work/changed-$kind-$round"
    local wall rss wchar diskbytes logbytes changed names
    read -r wall rss <"$figures"
    wchar=$(awk '/^wchar:/ {print $2}' "$io")
    diskbytes=$(awk '/^write_bytes:/ {print $2}' "$io")
    logbytes=$(stat -c %s "$log")
    changed=$(wc -l <"$work/changed-$kind-$round")
    names=$(sed 's|.*/||' "$work/changed-$kind-$round" | sort | uniq -c |
        awk '{printf "%s%s×%s", sep, $2, $1; sep=" "}')
    printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$kind" "$round" "$wall" "$rss" \
        "$((wchar - logbytes))" "$diskbytes" "$changed" "$(wc -l <"$log")" "${names:--}" \
        >>"$results"
}

check_round() {
    local round=$1 target=$2
    grep -q '"Возможные файлы вирусов и блокировщиков: "' "$work/locked-$round.jsonl" ||
        { echo "первый проход не нашёл блокировщика" >&2; exit 1; }
    grep -q '"Проблем не обнаружено...Воспользуйтесь ручным режимом..."' \
        "$work/healed-$round.jsonl" ||
        { echo "повторный проход ещё что-то нашёл" >&2; exit 1; }
    if [ -s "$work/changed-healed-$round" ]; then
        echo "ВНИМАНИЕ: повторный проход изменил файлы:" $(cat "$work/changed-healed-$round") >&2
    fi
    local hive
    while IFS= read -r hive; do
        "$cli" hive check "$hive" >/dev/null ||
            { echo "куст после прохода не проходит проверку: $hive" >&2; exit 1; }
    done < <(find "$target" -type f \( -name SOFTWARE -o -name NTUSER.DAT \))
}

print_table() {
    echo "== Итог: медиана $repeat прогонов; SOFTWARE 100 МБ и три NTUSER.DAT по 10 МБ, холодный кэш"
    /usr/bin/python3 - "$results" <<'EOF'
import statistics, sys
rows = [line.rstrip("\n").split("\t") for line in open(sys.argv[1])]
print(f"{'цель':8} {'время, с':>9} {'пик RSS, МБ':>12} {'в файлы, Б':>11} {'к диску, Б':>11} "
      f"{'файлов изменено':>16} {'строк журнала':>14}  какие")
for kind in ("locked", "healed"):
    mine = [r for r in rows if r[0] == kind]
    def med(i):
        return statistics.median(float(r[i]) for r in mine)
    print(f"{kind:8} {med(2):>9.2f} {med(3) / 1024:>12.1f} {med(4):>11.0f} {med(5):>11.0f} "
          f"{med(6):>16.0f} {med(7):>14.0f}  {mine[-1][8]}")
EOF
}

main() {
    prepare
    build_target
    : >"$results"
    local round target=$work/run
    for ((round = 1; round <= repeat; round++)); do
        echo "== Прогон $round из $repeat"
        rm -rf "$target"
        cp -a "$work/locked" "$target"
        measure "$round" locked "$target"
        measure "$round" healed "$target"
        check_round "$round" "$target"
    done
    print_table
}

main
