#!/usr/bin/env bash
# Builds everything with AddressSanitizer + UndefinedBehaviorSanitizer in
# build-asan/ and runs the test suite there (the asan presets).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/configure.sh asan
cmake --build --preset asan -j "$(nproc)"
ctest --preset asan
