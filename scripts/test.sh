#!/usr/bin/env bash
# The README's test command: installs what is missing, builds, and runs every test.
# Optional argument: the preset ("default" or "asan").
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
scripts/install-deps.sh
scripts/build.sh "$preset"
ctest --preset "$preset"
