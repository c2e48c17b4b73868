#!/usr/bin/env bash
# Installs what is missing, builds Sedalyn in Release and starts it. Only
# what `cmake --install build` installs is built (the program, its help
# document, the manual pages and the simulator), not the tests and
# benchmarks; scripts/test.sh builds everything.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh sedalyn sedalyn_docs sedalyn_man sedalyn-sim
# The help document is built next to the program, where Help looks first.
cd build/bin
exec ./sedalyn "$@"
