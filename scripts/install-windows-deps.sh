#!/usr/bin/env bash
# Installs the Debian packages of the Windows cross build and of running its programs and
# tests under Wine (the windows preset). Does nothing when they are all present already;
# needs root (or sudo) otherwise.
set -euo pipefail

packages=(g++-mingw-w64-x86-64-posix googletest wine wine64 cmake ninja-build)

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
