#!/usr/bin/env bash
# Installs the Debian packages that Sedalyn needs to build, test, package and
# run, leaving alone what is already there. Run as root or as a user with sudo.
set -euo pipefail

# qt6-charts-dev does not pull in libqt6opengl6-dev, which its CMake package needs.
packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-charts-dev libqt6opengl6-dev libgl-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libeigen3-dev
  xvfb xauth xdotool openbox
  fonts-dejavu-core fonts-liberation2
  xdg-utils
  appstream desktop-file-utils groff-base mandoc
  file dpkg-dev
  poppler-utils
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
