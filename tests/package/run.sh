#!/usr/bin/env bash
# The Debian package on a fresh Debian 12: builds it (scripts/package.sh),
# makes a bookworm root with mmdebstrap holding nothing but apt, installs the
# package there with apt-get (its Depends alone, no recommends), and checks in
# that root that
#   - morvalin-cli --version names the package's version,
#   - morvalin-cli scan finds the installation of a small fixture drive,
#   - man -w finds both manual pages, in English and in Russian,
#   - morvalin starts on Qt's offscreen platform and is still running after
#     a few seconds (its windows made, no missing library or plugin),
#   - no compiler, build tool or test library came with it.
#
#   tests/package/run.sh [BUILD]      (BUILD: build/release)
#
# As root. The downloaded packages are kept with the live medium's
# (MORVALIN_LIVE_CACHE, default ${XDG_CACHE_HOME:-~/.cache}/morvalin-live);
# MORVALIN_LIVE_MIRROR as for the medium.
set -euo pipefail
export LC_ALL=C
cd "$(dirname "$0")/../.."
repo=$PWD
step() { echo "package: $*"; }
fail() {
    echo "package: FAIL: $*" >&2
    exit 1
}
[ "$(id -u)" -eq 0 ] || fail "needs root (mmdebstrap makes the root as root)"

package=$(bash scripts/package.sh "${1:-$repo/build/release}" | tail -n1)
[ -f "$package" ] || fail "scripts/package.sh made no package"
version=$(dpkg-deb -f "$package" Version)
case $(basename "$package") in
"morvalin_${version}_amd64.deb") ;;
*) fail "the package's file name does not carry its version $version: $package" ;;
esac
step "$(basename "$package"), Depends: $(dpkg-deb -f "$package" Depends)"

cache=${MORVALIN_LIVE_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/morvalin-live}
archives=$cache/archives
mkdir -p "$archives"
work=$(mktemp -d "${TMPDIR:-/tmp}/morvalin-package.XXXXXX")
trap 'rm -rf "$work"' EXIT

# A drive c: with one installation: what scan looks for is its SOFTWARE hive.
mkdir -p "$work/fixture/c/WINDOWS/system32/config"
cp "${MORVALIN_TESTDATA:-$repo/tests/data}/hives/empty-hive" \
    "$work/fixture/c/WINDOWS/system32/config/software"

cat >"$work/check.sh" <<'CHECK'
#!/bin/sh
# Runs inside the fresh root.
set -eu
echo "--- installed"
apt-get install -y -qq --no-install-recommends /tmp/morvalin.deb >/tmp/apt.log 2>&1 ||
    { tail -n 20 /tmp/apt.log; exit 1; }
echo "--- morvalin-cli --version"
morvalin-cli --version
echo "--- scan"
morvalin-cli scan --drive c=/tmp/fixture/c
echo "--- morvalin offscreen"
rc=0
QT_QPA_PLATFORM=offscreen timeout 8 morvalin --drive c=/tmp/fixture/c \
    >/tmp/gui.log 2>&1 || rc=$?
echo "exit $rc"
cat /tmp/gui.log
echo "--- build tools"
dpkg-query -W -f '${Package}\n' |
    grep -E '^(gcc(-[0-9]+)?|g\+\+(-[0-9]+)?|cpp(-[0-9]+)?|clang.*|cmake|ninja-build|make|libgtest.*|googletest|libbenchmark.*|qt6-base-dev|binutils.*|libhivex.*)$' || echo none
echo "--- man"
apt-get install -y -qq --no-install-recommends man-db >/tmp/apt-man.log 2>&1 ||
    { tail -n 20 /tmp/apt-man.log; exit 1; }
man -w morvalin-cli
man -w morvalin
man -L ru -w morvalin-cli
man -L ru -w morvalin
CHECK

step "a fresh bookworm root with the package"
mmdebstrap --variant=apt --mode=root --quiet \
    --skip=download/empty \
    --setup-hook='mkdir -p "$1"/var/cache/apt/archives' \
    --setup-hook="sync-in '$archives' /var/cache/apt/archives" \
    --customize-hook="copy-in '$package' /tmp" \
    --customize-hook="mv \"\$1\"/tmp/$(basename "$package") \"\$1\"/tmp/morvalin.deb" \
    --customize-hook="copy-in '$work/fixture' /tmp" \
    --customize-hook="copy-in '$work/check.sh' /tmp" \
    --customize-hook="chroot \"\$1\" sh /tmp/check.sh >'$work/report' 2>&1 || echo failed >'$work/failed'" \
    --customize-hook="sync-out /var/cache/apt/archives '$archives'" \
    bookworm "$work/root" "${MORVALIN_LIVE_MIRROR:-http://deb.debian.org/debian}" ||
    fail "mmdebstrap failed"
cat "$work/report"
[ ! -e "$work/failed" ] || fail "a step inside the fresh root failed (above)"

section() { sed -n "/^--- $1\$/,/^--- /p" "$work/report" | sed '1d;$d'; }
section "morvalin-cli --version" | grep -qx "morvalin-cli $version" ||
    fail "morvalin-cli --version does not say $version"
section scan | grep -q 'Путь к системе - c:\\WINDOWS' ||
    fail "morvalin-cli scan does not find the fixture's installation"
section "morvalin offscreen" | grep -qx 'exit 124' ||
    fail "morvalin did not keep running on the offscreen platform"
if section "morvalin offscreen" | grep -qiE 'error while loading|could not (load|find)|no Qt platform plugin'; then
    fail "morvalin is missing a library or plugin"
fi
section "build tools" | grep -qx none || fail "the package pulled in build or test tools"
for page in man1/morvalin-cli.1 man1/morvalin.1 ru/man1/morvalin-cli.1 ru/man1/morvalin.1; do
    grep -q "/usr/share/man/$page" "$work/report" || fail "man does not find $page"
done
step "installs and runs on a fresh Debian 12"
