#!/usr/bin/env bash
# The main job on a fresh machine: install what is needed, build the program alone (no tests, no benchmarks),
# and convert the bundled demo movie with Tolvikan into an animated GIF and an MP4 video (out/demo.gif,
# out/demo.mp4).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
TARGETS="tolvikan mp3enc frame_event_movies demo_movie" ./scripts/build.sh build
./build/bin/tolvikan probe build/demo/demo.swf
./build/bin/tolvikan convert build/demo/demo.swf --type gif --output out/demo.gif -y
./build/bin/tolvikan convert build/demo/demo.swf --type mp4 --output out/demo.mp4 -y
echo "the demo movie converted: out/demo.gif (animated GIF), out/demo.mp4 (H.264 MP4)"
