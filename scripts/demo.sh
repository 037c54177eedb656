#!/usr/bin/env bash
# The main job on a fresh machine: install what is needed, build, and run Tolvikan on the bundled demo movie.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh build
./build/bin/tolvikan probe build/demo/demo.swf
./build/bin/tolvikan render build/demo/demo.swf --frames 1,12,24,36 --size 640x480 --out out/demo-%d.png
echo "pictures of the demo movie: out/demo-1.png out/demo-12.png out/demo-24.png out/demo-36.png"
