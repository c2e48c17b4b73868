#!/usr/bin/env bash
# Installs what is missing, builds Sedalyn and runs the whole test suite,
# headless (widget tests offscreen, the end-to-end test under Xvfb).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure
