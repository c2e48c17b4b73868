#!/usr/bin/env bash
# Builds the tests labelled threaded (the threaded timer, the journal writer)
# with ThreadSanitizer in build-tsan/ and runs them (the tsan presets). Exits
# non-zero on a build failure, a failed test or a race.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/configure.sh tsan
cmake --build --preset tsan -j2
# Qt itself is not instrumented; tests/timer/tsan.supp says which of its
# reports are not ours. TSAN_OPTIONS from outside is added to the preset's.
ctest --preset tsan
