#!/usr/bin/env bash
# Installs what is missing, builds Sedalyn and runs the whole test suite,
# headless (widget tests offscreen, the end-to-end test under Xvfb).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
ctest --preset release
