#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package of the build tree, unpacks it into a scratch root
# and checks what a clean Debian 12 would get: the files in their places, the
# package's fields and dependencies, valid desktop metadata, and a program that
# starts from there with the system's libraries and ends cleanly on SIGTERM.
#   check_deb.sh <build dir> <version> <cpack> <1 when pitchcheck is built>
set -euo pipefail
build=$1 version=$2 cpack=$3 with_pitchcheck=$4
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }
need() { command -v "$1" >/dev/null || { echo "FAIL: $1 is missing (Debian package $2)" >&2; exit 1; }; }
need dpkg-deb dpkg
need dpkg-shlibdeps dpkg-dev
need desktop-file-validate desktop-file-utils
need appstreamcli appstream

scratch=$(mktemp -d "${TMPDIR:-/tmp}/tonvero-deb.XXXXXX")
pid=
cleanup() {
    [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT

echo "== cpack -G DEB"
if ! "$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1; then
    cat "$scratch/cpack.log" >&2
    echo "FAIL: cpack could not build the package" >&2
    exit 1
fi
arch=$(dpkg --print-architecture)
deb=$scratch/out/tonvero_${version}_${arch}.deb
[ -f "$deb" ] || { ls -l "$scratch/out" >&2; echo "FAIL: no $(basename "$deb")" >&2; exit 1; }
echo "$(basename "$deb"): $(stat -c %s "$deb") bytes"

echo "== dpkg-deb --info"
dpkg-deb --info "$deb"
field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = tonvero ] || fail "Package is $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version is $(field Version)"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is $(field Architecture)"
[ "$(field Section)" = education ] || fail "Section is $(field Section)"
[[ $(field Maintainer) =~ ^.+\ \<.+@.+\>$ ]] || fail "Maintainer is not a name and an address: $(field Maintainer)"
[ -n "$(field Description)" ] || fail "no Description"
depends=$(field Depends)
# Computed from the program by dpkg-shlibdeps (the libraries it links), and
# FluidSynth, which it opens at run time, named by the package itself.
for lib in libc6 libqt6widgets6 libqt6gui6 libqt6core6 libfluidsynth3 librtmidi6 libasound2; do
    [[ $depends == *"$lib "* || $depends == *"$lib,"* || $depends == *"$lib" ]] || fail "Depends lacks $lib: $depends"
done
[[ $(field Recommends) == *soundfont* ]] || fail "no soundfont recommended: $(field Recommends)"

echo "== dpkg-deb --contents"
dpkg-deb --contents "$deb"
root=$scratch/root
dpkg -x "$deb" "$root"

app_id=io.github.tonvero.tonvero
expected=(
    usr/bin/tonvero
    usr/share/tonvero/ReadMe.txt
    usr/share/tonvero/ReadMe_en.txt
    usr/share/applications/$app_id.desktop
    usr/share/metainfo/$app_id.metainfo.xml
    usr/share/doc/tonvero/copyright
    usr/share/doc/tonvero/changelog.gz
    usr/share/man/man1/tonvero.1.gz
    usr/bin/piececheck
    usr/share/man/man1/piececheck.1.gz
)
for piece in "$(dirname "$0")"/../../res/pieces/*.musicxml; do
    expected+=("usr/share/tonvero/pieces/$(basename "$piece")")
done
for size in 16 24 32 48 64 128 256; do
    expected+=("usr/share/icons/hicolor/${size}x${size}/apps/tonvero.png")
done
if [ "$with_pitchcheck" = 1 ]; then
    expected+=(usr/bin/pitchcheck usr/share/man/man1/pitchcheck.1.gz)
elif [ -e "$root/usr/share/man/man1/pitchcheck.1.gz" ]; then
    fail "a manual page for pitchcheck, which is not built"
fi
for f in "${expected[@]}"; do
    [ -s "$root/$f" ] || fail "missing or empty: /$f"
done
[ -x "$root/usr/bin/tonvero" ] || fail "/usr/bin/tonvero is not executable"
# Nothing outside /usr, nothing from the build machine.
outside=$(cd "$root" && find . -mindepth 1 -maxdepth 1 ! -name usr)
[ -z "$outside" ] || fail "files outside /usr: $outside"
if grep -rlF "$build" "$root/usr/share" >/dev/null 2>&1; then
    fail "installed data names the build directory $build"
fi

echo "== the desktop entry and the metainfo as installed"
desktop-file-validate "$root/usr/share/applications/$app_id.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/$app_id.metainfo.xml" || fail "appstreamcli validate"
for page in "$root"/usr/share/man/man1/*.gz "$root"/usr/share/doc/tonvero/changelog.gz; do
    gzip -t "$page" || fail "$page is not a gzip file"
done
changelog_version=$(dpkg-parsechangelog -l "$root/usr/share/doc/tonvero/changelog.gz" -S Version 2>/dev/null || true)
[ "$changelog_version" = "$version" ] || fail "the changelog's version is ${changelog_version:-unreadable}"


echo "== the program's libraries"
missing=$(ldd "$root/usr/bin/tonvero" | grep "not found" || true)
[ -z "$missing" ] || fail "libraries not found: $missing"

echo "== starting /usr/bin/tonvero from the package, offscreen"
home=$scratch/home
mkdir -p "$home/config" "$home/runtime"
chmod 700 "$home/runtime"
env -i PATH=/usr/bin:/bin HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home/runtime" \
    QT_QPA_PLATFORM=offscreen "$root/usr/bin/tonvero" >"$scratch/run.log" 2>&1 &
pid=$!
# Up once it catches SIGTERM (bit 15 of the caught-signals mask).
ready=0
for _ in $(seq 600); do
    mask=$(awk '/^SigCgt:/ { print $2 }' "/proc/$pid/status" 2>/dev/null || true)
    if [ -z "$mask" ]; then
        break
    fi
    if (( (16#$mask >> 14) & 1 )); then
        ready=1
        break
    fi
    sleep 0.1
done
if [ $ready -ne 1 ]; then
    cat "$scratch/run.log" >&2
    fail "the program did not come up"
else
    kill -TERM "$pid"
    rc=0
    wait "$pid" || rc=$?
    pid=
    [ $rc -eq 0 ] || { cat "$scratch/run.log" >&2; fail "exit status $rc after SIGTERM"; }
    [ -s "$home/config/Tonvero/registry.reg" ] || fail "no settings saved on SIGTERM"
    echo "ended on SIGTERM with status $rc, settings saved"
fi

[ $failed -eq 0 ] && echo "$(basename "$deb"): all good"
exit $failed
