#!/usr/bin/env bash
# Installs what is missing and builds the Debian package
# sedalyn_<version>_<architecture>.deb into this folder, from a Release build
# in build-package/ that installs under /usr (the package preset: no tests,
# no benchmarks, warnings not errors).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
# Hardened as Debian builds its own packages.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CXXFLAGS_MAINT_STRIP="-g -O2"
scripts/configure.sh package \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)"
cmake --build --preset package -j "$(nproc)"
rm -rf build-package/package
(cd build-package && cpack -G DEB)
deb=$(find build-package/package -maxdepth 1 -name 'sedalyn_*.deb')
[ "$(printf '%s\n' "$deb" | wc -l)" -eq 1 ] && [ -n "$deb" ] || { echo "package.sh: no single package in build-package/package" >&2; exit 1; }
cp "$deb" .
echo "Built $(basename "$deb") ($(du -k "$deb" | cut -f1) KiB)"
