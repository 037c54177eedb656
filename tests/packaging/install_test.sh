#!/bin/bash
# `cmake --install` into a scratch prefix, then the installed program as a user meets it: `tolvikan` on the
# path answers --version, finds what it loads beside itself (the frame-event movie) and converts the demo
# movie; the manual page, the desktop entry, its icon and the MIME type of Flash movies are in place.
#
#   install_test.sh BUILD_DIR DEMO_MOVIE
set -uo pipefail
build=$1
demo=$2
work=$(mktemp -d /tmp/tolvikan-install.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAILED: $*"
    exit 1
}
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log"; fail "cmake --install"; }

[ -L "$prefix/bin/tolvikan" ] || fail "bin/tolvikan is not a link to the program"
version=$(cd "$work" && PATH="$prefix/bin:$PATH" tolvikan --version) || fail "tolvikan --version"
[[ $version == "tolvikan "* ]] || fail "tolvikan --version said '$version'"

# Played in normal mode, a conversion needs the frame-event movie the program finds beside itself.
(cd "$work" && PATH="$prefix/bin:$PATH" QT_QPA_PLATFORM=offscreen \
    tolvikan convert "$demo" --type gif --frames 1-3 -o demo.gif >"$work/convert.log" 2>&1) ||
    { cat "$work/convert.log"; fail "the installed program did not convert the demo movie"; }
[ -s "$work/demo.gif" ] || fail "no demo.gif"

man=$prefix/share/man/man1/tolvikan.1
[ -f "$man" ] || fail "no manual page"
grep -q '^\.TH TOLVIKAN 1' "$man" || fail "the manual page has no .TH line"
grep -q '@[A-Z_]*@' "$man" && fail "the manual page holds an unreplaced @VARIABLE@"
desktop=$prefix/share/applications/tolvikan.desktop
grep -qx 'Exec=tolvikan %F' "$desktop" || fail "the desktop entry does not start tolvikan with the files"
grep -q '^MimeType=.*application/x-shockwave-flash;' "$desktop" || fail "the desktop entry does not take .swf files"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -f "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no icon '$icon'"
mime=$prefix/share/mime/packages/tolvikan.xml
grep -q 'type="application/x-shockwave-flash"' "$mime" || fail "no Flash MIME type"
grep -q 'pattern="\*\.swf"' "$mime" || fail "the MIME type does not name *.swf"
echo "installed into $prefix: $version"
