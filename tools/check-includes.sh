#!/usr/bin/env bash
# Include-boundary check: each layer includes only what it may.
#   Qt Widgets: only capture/ convert/ audio/ ui/ app/ mcl_dialog/ (and their tests)
#   Qt at all: never in swf/ player/ mcl/ mp3enc/
#   FFmpeg (libav*, libsw*): only mcl/ (and player/media/ for the player's decoder adapter)
#   lame.h: only mp3enc/;  PulseAudio: only audio/
set -u
cd "$(dirname "$0")/.."
fail=0
check() {  # check <description> <regex> <allowed-path-regex>
    local what=$1 pattern=$2 allowed=$3
    while IFS= read -r hit; do
        file=${hit%%:*}
        if ! [[ $file =~ $allowed ]]; then
            echo "include boundary: $what in $hit"
            fail=1
        fi
    done < <(git ls-files -co --exclude-standard -- '*.h' '*.hpp' '*.cpp' '*.cc' | grep -v '^build' |
             xargs -r grep -nE "^\s*#\s*include\s*[<\"]($pattern)" 2>/dev/null)
}
check "Qt Widgets" 'QtWidgets|QWidget|QDialog|QMainWindow|QApplication|QPushButton|QLabel' '^(capture|convert|audio|ui|app|mcl_dialog|tests/(capture|convert|audio|ui|app|mcl_dialog|support_qt))/'
check "Qt" 'Qt[A-Za-z]*/|Q[A-Z][A-Za-z]+>' '^(tasks|capture|convert|audio|ui|app|mcl_dialog|bench|tools|tests/(tasks|capture|convert|audio|ui|app|corpus|mcl_dialog|support_qt))/'
check "FFmpeg" 'libav[a-z]*/|libsw[a-z]*/' '^(mcl|player/media|tests/mcl|tests/convert|tests/audio|tests/app|tests/ui|bench)/'
check "LAME" 'lame/lame.h|lame.h' '^(mp3enc|tests/mp3enc)/'
check "PulseAudio" 'pulse/' '^(audio|tests/audio)/'
if [ $fail = 0 ]; then echo "include boundaries: ok"; fi
exit $fail
