#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need. Does nothing when
# they are all present already; needs root (or sudo) otherwise.
set -euo pipefail

# clang-format is pinned to version 14: scripts/check-format.sh (and CI) judge the sources
# with exactly that version.
packages=(g++ cmake ninja-build pkg-config libgtest-dev libgmock-dev libbenchmark-dev
          qt6-base-dev socat clang-format-14 nlohmann-json3-dev libgcrypt20-dev
          xvfb openbox xdotool x11-utils imagemagick
          # the Debian package (dpkg-shlibdeps, file) and the checks of what it installs
          dpkg-dev file man-db desktop-file-utils libxml2-utils)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update
$sudo apt-get install -y --no-install-recommends "${missing[@]}"
