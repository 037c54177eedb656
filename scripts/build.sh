#!/usr/bin/env bash
# Configures and builds Tolvikan into ./build (or the folder given as $1) with warnings as errors; further
# arguments go to the configuration. TARGETS="a b" builds only those targets (default: everything, tests and
# benchmarks included).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
shift || true
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache); fi
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "$@" >/dev/null
if [ -n "${TARGETS:-}" ]; then
    # shellcheck disable=SC2086  # a list of target names
    cmake --build "$dir" --target $TARGETS
else
    cmake --build "$dir"
fi
