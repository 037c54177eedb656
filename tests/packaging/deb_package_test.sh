#!/bin/bash
# `cpack -G DEB` into a scratch folder, then the package as apt would see it: its control fields (name,
# architecture, the shared libraries it needs and the Qt platform plugins declared as dependencies), the
# files a user meets (the command on the path, the manual page, the desktop entry, the MIME type), and the
# program unpacked from it answering --version and converting a few frames of the demo movie.
#
#   deb_package_test.sh BUILD_DIR DEMO_MOVIE
#
# Exit status 77 (skipped) when dpkg-deb or dpkg-shlibdeps is missing.
set -uo pipefail
build=$1
demo=$2
skip() {
    echo "SKIPPED: $*"
    exit 77
}
fail() {
    echo "FAILED: $*"
    exit 1
}
for program in cpack dpkg-deb dpkg-shlibdeps; do
    command -v "$program" >/dev/null || skip "$program is missing"
done
work=$(mktemp -d /tmp/tolvikan-deb.XXXXXX)
trap 'rm -rf "$work"' EXIT

(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack -G DEB"; }
debs=("$work"/out/tolvikan_*.deb)
[ -f "${debs[0]}" ] || { cat "$work/cpack.log"; fail "no tolvikan_*.deb"; }
deb=${debs[0]}

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = tolvikan ] || fail "Package is '$(field Package)'"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture is '$(field Architecture)'"
depends=$(field Depends)
# What the program links (found by dpkg-shlibdeps) and what Qt loads at run time (the platform plugins).
for package in qt6-qpa-plugins libqt6widgets6 libavcodec libavformat libswscale libmp3lame0 libpulse0; do
    [[ $depends == *"$package"* ]] || fail "Depends lacks $package: $depends"
done

contents=$(dpkg-deb -c "$deb")
for path in ./usr/bin/tolvikan ./usr/lib/tolvikan/tolvikan ./usr/lib/tolvikan/fps ./usr/lib/tolvikan/mp3enc.so \
    ./usr/share/man/man1/tolvikan.1 ./usr/share/applications/tolvikan.desktop \
    ./usr/share/mime/packages/tolvikan.xml ./usr/share/icons/hicolor/scalable/apps/tolvikan.svg; do
    grep -q " $path\( ->\|$\)" <<<"$contents" || fail "the package lacks $path"
done

# Unpacked, the program runs from its own folders (the command is a relative link into lib/tolvikan).
dpkg-deb -x "$deb" "$work/root" || fail "dpkg-deb -x"
version=$("$work/root/usr/bin/tolvikan" --version) || fail "tolvikan --version"
[ "$version" = "tolvikan $(field Version)" ] || fail "--version said '$version', the package is $(field Version)"
(cd "$work" && QT_QPA_PLATFORM=offscreen "$work/root/usr/bin/tolvikan" convert "$demo" --type mp4 --frames 1-3 \
    -o demo.mp4 >"$work/convert.log" 2>&1) || { cat "$work/convert.log"; fail "the packaged program did not convert"; }
[ -s "$work/demo.mp4" ] || fail "no demo.mp4"
echo "$(basename "$deb"): $(field Version), depends on $depends"
