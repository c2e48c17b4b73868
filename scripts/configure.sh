#!/usr/bin/env bash
# Configures a build folder from a preset of CMakePresets.json (release:
# build/, otherwise build-PRESET/), passing on any further cmake arguments.
# A folder configured before keeps its generator; without ninja, make.
#
#   scripts/configure.sh PRESET [-DNAME=VALUE...]
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:?usage: configure.sh PRESET [cmake arguments]}
shift
dir=build
[ "$preset" = release ] || dir=build-$preset
generator=()
if [ -f "$dir/CMakeCache.txt" ]; then
  generator=(-G "$(sed -n 's/^CMAKE_GENERATOR:INTERNAL=//p' "$dir/CMakeCache.txt")")
elif ! command -v ninja >/dev/null; then
  generator=(-G "Unix Makefiles")
fi
cmake --preset "$preset" "${generator[@]}" "$@"
