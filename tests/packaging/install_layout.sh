#!/usr/bin/env bash
# install_layout.sh BUILD_DIR VERSION: `cmake --install` puts every file where
# a Linux desktop, a software centre and man look for it; the desktop entry,
# the metainfo and the licence agree with each other; the metainfo passes
# appstreamcli's validation and the manual page formats without a warning;
# and the installed program finds the manual installed beside it.
set -uo pipefail
build=${1:?usage: $0 BUILD_DIR VERSION}
version=${2:?usage: $0 BUILD_DIR VERSION}
for tool in appstreamcli groff gzip; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed (Debian packages appstream, groff-base)"; exit 1; }
done
work=$(mktemp -d /tmp/varmolen-install-XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

prefix=$work/usr
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log"; exit 1; }

id=io.github.varmolen.Varmolen
for f in bin/varmolen share/applications/$id.desktop share/icons/hicolor/scalable/apps/varmolen.svg \
    share/metainfo/$id.metainfo.xml share/man/man1/varmolen.1.gz share/varmolen/help/index.html \
    share/doc/varmolen/copyright; do
    [ -s "$prefix/$f" ] && echo "ok: $f" || fail "$f is not installed"
done
[ -x "$prefix/bin/varmolen" ] || fail "bin/varmolen is not executable"
# The set-up tool stays in the build tree: the program makes its own first start.
[ ! -e "$prefix/bin/varmolen-default-config" ] || fail "bin/varmolen-default-config is installed"

# One id for the desktop entry, the metainfo and its launchable; one icon; one licence.
metainfo=$prefix/share/metainfo/$id.metainfo.xml
desktop=$prefix/share/applications/$id.desktop
grep -q "<id>$id</id>" "$metainfo" || fail "the metainfo's id is not $id"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" || fail "the metainfo does not launch $id.desktop"
grep -qx "Icon=varmolen" "$desktop" || fail "the desktop entry's icon is not the installed varmolen.svg"
grep -qx "Exec=varmolen" "$desktop" || fail "the desktop entry does not start varmolen"
grep -q "<project_license>GPL-3.0-or-later</project_license>" "$metainfo" || fail "the metainfo's licence is not GPL-3.0-or-later"
grep -qx "License: GPL-3.0-or-later" "$prefix/share/doc/varmolen/copyright" || fail "the copyright file's licence is not GPL-3.0-or-later"
if appstreamcli validate --no-net "$metainfo" >"$work/appstream.log" 2>&1; then
    echo "ok: appstreamcli validate --no-net: $(tail -1 "$work/appstream.log")"
else
    fail "appstreamcli validate --no-net: $(cat "$work/appstream.log")"
fi

# The manual page: formats without a warning, has the sections a reader
# looks for, carries the version and names every option --help names.
gzip -t "$prefix/share/man/man1/varmolen.1.gz" || fail "varmolen.1.gz is not a whole gzip file"
gzip -dc "$prefix/share/man/man1/varmolen.1.gz" >"$work/varmolen.1"
groff -man -Tutf8 -ww -z "$work/varmolen.1" 2>"$work/groff.log"
[ ! -s "$work/groff.log" ] && echo "ok: groff -man -ww: no warnings" || fail "groff warns: $(cat "$work/groff.log")"
for section in NAME SYNOPSIS DESCRIPTION OPTIONS FILES "EXIT STATUS" "SEE ALSO"; do
    grep -qx "\.SH \"\?$section\"\?" "$work/varmolen.1" || fail "the manual page has no $section section"
done
grep -q "Varmolen $version" "$work/varmolen.1" || fail "the manual page does not carry version $version"
page=$(groff -man -Tutf8 -P-cbou "$work/varmolen.1" 2>/dev/null)
help=$(env -u DISPLAY -u WAYLAND_DISPLAY "$prefix/bin/varmolen" --help)
for option in $(grep -o -- '--[a-z]*\(=PORT\)\?' <<<"$help" | sort -u); do
    grep -q -- "$option" <<<"$page" || fail "the manual page does not name $option"
done

# The installed program finds the manual installed beside it.
grep -qx "Manual: $prefix/share/varmolen/help/index.html" <<<"$help" ||
    fail "the installed program does not name its installed manual: $(grep Manual <<<"$help")"

[ $failures = 0 ] && echo "the installed layout holds" || echo "$failures failure(s)"
[ $failures = 0 ]
