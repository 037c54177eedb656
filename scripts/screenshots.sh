#!/usr/bin/env bash
# Starts the desktop program under a virtual X server (Xvfb) with a task list of a few movies and saves pictures
# of the main window, the settings dialog, the visual selection and the seek dialog in out/screenshots/, so
# anyone can look at them.
# Usage: scripts/screenshots.sh [BUILD_FOLDER]   (default: build; built first when the program is missing)
# Needs: xvfb, imagemagick (import), xdotool, x11-utils (xwininfo); pulseaudio for a sound server of its own.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
[ -x "$build/bin/tolvikan" ] && [ -f "$build/demo/demo.swf" ] || ./scripts/build.sh "$build"
for tool in Xvfb import xdotool xwininfo; do
    command -v "$tool" >/dev/null || { echo "screenshots: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done
out=$PWD/out/screenshots
mkdir -p "$out"

# A private copy of the program folder, so the task list written there is not the user's.
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/bin" "$work/movies" "$work/out"
cp "$build"/bin/tolvikan "$build"/bin/fps "$build"/bin/fps1 "$build"/bin/tolvikan-help.html "$work/bin/"
[ -f "$build/bin/mp3enc.so" ] && cp "$build/bin/mp3enc.so" "$work/bin/"
for name in intro product-tour banner; do cp "$build/demo/demo.swf" "$work/movies/$name.swf"; done

# The task list: three movies, each with another output type. The movie fields come from the probe.
read -r _ version size width height rate frames _ < <("$work/bin/tolvikan" probe "$work/movies/intro.swf")
{
    printf '[General]\r\nID=Tolvikan\r\nTaskCount=3\r\n\r\n'
    i=0
    for row in "intro 0 1 intro.avi" "product-tour 2 1 product-tour.gif" "banner 3 0 "; do
        set -- $row
        printf '[Task%d]\r\nIsItemChecked=%d\r\nswfFilename=%s\r\nswfFileType=1\r\nswfFileVersion=%s\r\n' \
            "$i" "$3" "$work/movies/$1.swf" "$version"
        printf 'swfFileSize=%s\r\nswfW=%s\r\nswfH=%s\r\nswfFrameRate=%s\r\nswfTotalFrames=%s\r\n' \
            "$size" "$width" "$height" "$rate" "$frames"
        printf 'destType=%s\r\ndestFilepath=%s\r\n' "$2" "$work/out/"
        [ -n "${4:-}" ] && printf 'destFilename=%s\r\n' "$4"
        printf '\r\n'
        i=$((i + 1))
    done
} > "$work/bin/tolvikan.ini"

# A sound server of its own (a null output), so the recording source can be set at start-up.
if command -v pulseaudio >/dev/null; then
    mkdir -p "$work/pulse/home"
    HOME=$work/pulse/home XDG_CONFIG_HOME=$work/pulse/home XDG_RUNTIME_DIR=$work/pulse PULSE_RUNTIME_PATH=$work/pulse \
        PULSE_STATE_PATH=$work/pulse pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
        --disable-shm=yes --log-target=file:"$work/pulse/log" \
        --load="module-null-sink sink_name=screenshots" \
        --load="module-native-protocol-unix auth-anonymous=1 socket=$work/pulse/native" &
    pids+=($!)
    export PULSE_SERVER=unix:$work/pulse/native
    for _ in $(seq 50); do [ -S "$work/pulse/native" ] && break; sleep 0.1; done
fi

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done

unset QT_QPA_PLATFORM
"$work/bin/tolvikan" >"$work/tolvikan.log" 2>&1 &
pids+=($!)

window_of() {  # window_of TITLE: the id of the visible top-level window with exactly this title
    for _ in $(seq 100); do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1 || true)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    echo "screenshots: no window \"$1\" appeared; the program said:" >&2
    cat "$work/tolvikan.log" >&2
    return 1
}

main=$(window_of Tolvikan)
sleep 1.5  # the list is loaded and the first movie is in the preview
import -window "$main" "$out/main-window.png"

# The settings dialog of the first task: a double-click on its row.
xdotool mousemove --window "$main" 420 70 click --repeat 2 --delay 80 1
settings=$(window_of "Export Settings")
sleep 0.5
import -window "$settings" "$out/settings-dialog.png"

# The crop rectangle drawn on a frame: check the crop box, then "Visual selection".
xdotool mousemove --window "$settings" 30 356 click 1
sleep 0.3
xdotool mousemove --window "$settings" 566 383 click 1
selection=$(window_of "Visual Selection")
sleep 1
import -window "$selection" "$out/visual-selection.png"
xdotool key Escape
sleep 0.3
xdotool key Escape  # the settings dialog, cancelled
sleep 0.3

# The seek dialog over the main window.
xdotool mousemove --window "$main" 650 598 click 1
seek=$(window_of " Seek")
sleep 0.3
import -window "$seek" "$out/seek-dialog.png"

echo "screenshots: $(cd "$out" && echo *.png) in $out"
