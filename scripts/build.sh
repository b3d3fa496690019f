#!/usr/bin/env bash
# Configures and builds a preset (default: "default"). Extra arguments go to cmake configure.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
shift || true
cmake --preset "$preset" -DKORVEX_WERROR=ON "$@" >/dev/null
cmake --build --preset "$preset"
