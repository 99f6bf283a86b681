#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The desktop entry, the AppStream metainfo, the manual pages and the
# changelog in res/ are valid, name the installed files, and carry the
# project's version.
#   check_metadata.sh <source dir> <version>
set -euo pipefail
src=$1 version=$2
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }
need() { command -v "$1" >/dev/null || { echo "FAIL: $1 is missing (Debian package $2)" >&2; exit 1; }; }
need desktop-file-validate desktop-file-utils
need appstreamcli appstream
need man man-db
need dpkg-parsechangelog dpkg-dev

desktop=$src/res/tonvero.desktop
metainfo=$src/res/tonvero.metainfo.xml
app_id=io.github.tonvero.tonvero

echo "== desktop-file-validate $desktop"
if ! out=$(desktop-file-validate "$desktop" 2>&1) || [ -n "$out" ]; then
    fail "desktop-file-validate: ${out:-failed}"
else
    echo "(no errors, warnings or hints)"
fi
for want in 'Exec=tonvero' 'Icon=tonvero' 'Categories=Education;Music;' 'Name[ru]=' 'Comment[ru]=' 'GenericName[ru]='; do
    grep -qF "$want" "$desktop" || fail "the desktop entry lacks $want"
done

echo "== appstreamcli validate --no-net --pedantic $metainfo"
appstreamcli validate --no-net --pedantic --explain "$metainfo" || fail "appstreamcli validate"
grep -q "<id>$app_id</id>" "$metainfo" || fail "the metainfo's id is not $app_id"
grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
    fail "the metainfo does not launch the installed desktop entry $app_id.desktop"
release=$(grep -o '<release version="[^"]*"' "$metainfo" | head -n 1 | cut -d'"' -f2)
[ "$release" = "$version" ] || fail "the metainfo's newest release is $release, the project's version $version"
for lang in summary caption; do
    grep -q "<$lang xml:lang=\"ru\">" "$metainfo" || fail "no Russian $lang in the metainfo"
done
while read -r shot; do
    [ -f "$src/docs/$shot" ] || fail "the metainfo shows docs/$shot, which is not in docs/"
done < <(grep -o 'docs/[^<]*\.png' "$metainfo" | sed 's|^docs/||')

echo "== dpkg-parsechangelog $src/res/changelog"
changelog_version=$(dpkg-parsechangelog -l "$src/res/changelog" -S Version) || fail "the changelog does not parse"
[ "$changelog_version" = "$version" ] || fail "the changelog's newest entry is $changelog_version, the project's version $version"

for page in "$src"/res/man/*.1; do
    echo "== man --warnings $page"
    warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null) ||
        fail "man cannot format $page"
    [ -z "$warnings" ] || fail "$page: $warnings"
    grep -q "^\.TH [A-Z]* 1 [0-9-]* \"Tonvero $version\"" "$page" || fail "$page does not name Tonvero $version"
done
[ $failed -eq 0 ] && echo "desktop entry, metainfo, manual pages and changelog: all good"
exit $failed
