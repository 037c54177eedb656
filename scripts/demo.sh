#!/usr/bin/env bash
# The main job on a fresh machine: install what is needed, build, and run Tolvikan on the bundled demo movie.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh build
./build/bin/tolvikan probe build/demo/demo.swf
