#!/usr/bin/env bash
# Builds the threaded timer, the journal writer and their tests with
# ThreadSanitizer in build-tsan/ and runs them. Exits non-zero on a build
# failure, a failed test or a race.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${root}/build-tsan"

cmake -S "${root}" -B "${build}" \
  -DCMAKE_BUILD_TYPE=Debug \
  -DSEDALYN_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="-fsanitize=thread -fno-omit-frame-pointer" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread"
cmake --build "${build}" --target sedalyn_timer timer_tests sedalyn_journal journal_tests -j2

# Qt itself is not instrumented; tsan.supp says which of its reports are not ours.
export TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1 suppressions=${root}/tests/timer/tsan.supp ${TSAN_OPTIONS:-}"
ctest --test-dir "${build}" -R '^(timer_tests|journal)\.' --output-on-failure
