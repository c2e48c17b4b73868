#!/usr/bin/env bash
# Installs what is missing, builds Sedalyn in Release and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
# The help document is built next to the program, where Help looks first.
cd build/bin
exec ./sedalyn "$@"
