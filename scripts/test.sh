#!/usr/bin/env bash
# Builds Tolvikan and runs the whole test suite; ctest prints the summary.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/build.sh build
ctest --test-dir build --output-on-failure -j2
