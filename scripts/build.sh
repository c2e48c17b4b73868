#!/usr/bin/env bash
# Configures and builds Sedalyn in build/ (the release preset; Release unless
# BUILD_TYPE says otherwise): everything, or only the targets named, e.g.
# scripts/build.sh sedalyn.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ ! -f build/CMakeCache.txt ]; then
  scripts/configure.sh release -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-Release}"
fi
targets=()
[ $# -gt 0 ] && targets=(--target "$@")
cmake --build build -j "$(nproc)" "${targets[@]}"
