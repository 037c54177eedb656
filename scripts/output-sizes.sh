#!/usr/bin/env bash
# Converts the demo movie into each output kind with the defaults (and the kinds that keep an alpha channel
# with --alpha intensity), the video kinds with a sound track (a 440 Hz tone: the demo movie has none), and
# prints, one row a kind, what ffprobe reads back: the codecs, the decoded pixel format, the frame count, the
# duration, the file size and the overall bit rate.
#
#   scripts/output-sizes.sh [BUILD_DIR (default build)] [MOVIE (default BUILD_DIR/demo/demo.swf)]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
movie=${2:-$build/demo/demo.swf}
program=$build/bin/tolvikan
command -v ffprobe >/dev/null || { echo "ffprobe is needed (apt-get install ffmpeg)" >&2; exit 2; }
[ -x "$program" ] || { echo "no $program: build it first (TARGETS=tolvikan scripts/build.sh)" >&2; exit 2; }
[ -f "$movie" ] || { echo "no movie $movie" >&2; exit 2; }
work=$(mktemp -d /tmp/tolvikan-sizes.XXXXXX)
trap 'rm -rf "$work"' EXIT

# A tone longer than the movie: each output cuts it at the picture's end.
ffmpeg -v error -f lavfi -i "sine=frequency=440:duration=10:sample_rate=44100" -ac 2 "$work/tone.wav"

# name|options
kinds=(
    "avi|--type avi"
    "mpeg|--type mpeg"
    "mp4|--type mp4"
    "webm|--type webm"
    "webm-alpha|--type webm --alpha intensity"
    "mov-prores|--type mov --codec prores"
    "mov-prores-alpha|--type mov --codec prores --alpha intensity"
    "mov-animation|--type mov --codec animation"
    "mov-animation-alpha|--type mov --codec animation --alpha intensity"
    "gif|--type gif"
)
# What ffprobe says of stream SEL (v:0 or a:0): one field, "-" when the stream is absent.
field() { ffprobe -v error -select_streams "$2" -show_entries "stream=$3" -of csv=p=0 "$1" | head -1 | grep . || echo -; }
frames() { ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$1"; }

printf '%-20s %-9s %-13s %-9s %6s %8s %10s %10s\n' kind video "pixel format" sound frames seconds bytes "kbit/s"
for entry in "${kinds[@]}"; do
    name=${entry%%|*}
    # shellcheck disable=SC2206  # the options are words
    options=(${entry#*|})
    ext=${options[1]}
    [ "$ext" = mpeg ] && ext=mpg
    sound=(--sound "$work/tone.wav")
    [ "$ext" = gif ] && sound=()
    out=$work/$name.$ext
    if ! QT_QPA_PLATFORM=offscreen "$program" convert "$movie" "${options[@]}" -o "$out" "${sound[@]}" -y \
        >"$work/log" 2>&1; then
        echo "$name: the conversion failed:" >&2
        cat "$work/log" >&2
        continue
    fi
    seconds=$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$out")
    bytes=$(stat -c %s "$out")
    rate=$(awk -v b="$bytes" -v s="$seconds" 'BEGIN { printf "%.0f", (s > 0 ? b * 8 / s / 1000 : 0) }')
    printf '%-20s %-9s %-13s %-9s %6s %8.3f %10s %10s\n' "$name" "$(field "$out" v:0 codec_name)" \
        "$(field "$out" v:0 pix_fmt)" "$(field "$out" a:0 codec_name)" "$(frames "$out")" "$seconds" \
        "$bytes" "$rate"
done
