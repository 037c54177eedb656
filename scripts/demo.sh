#!/usr/bin/env bash
# The main job on a fresh machine: install what is needed, build, and convert the bundled demo movie with Tolvikan
# into an animated GIF and an AVI video (out/demo.gif, out/demo.avi).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh build
./build/bin/tolvikan probe build/demo/demo.swf
./build/bin/tolvikan convert build/demo/demo.swf --type gif --output out/demo.gif -y
./build/bin/tolvikan convert build/demo/demo.swf --type avi --codec FMP4 --sound none --output out/demo.avi -y
echo "the demo movie converted: out/demo.gif (animated GIF), out/demo.avi (MPEG-4 AVI)"
