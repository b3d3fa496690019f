#!/usr/bin/env bash
# Remakes the demo firmware files for a type 2 panel (SOLANTA Medium, language EN):
#   config/demo/demo_type2_v124.qfw  version 1.24, built 2025-03-12 (the file to program)
#   config/demo/demo_type2_v123.qfw  version 1.23, built 2024-11-05 (what the demo panel holds)
# Each program is korvex-qfw's deterministic sample program (seed = the version digits),
# packed with the key built into korvex-qfw. The same tool and key always give the same bytes.
#
# Usage: scripts/make_demo_firmware.sh [output folder]     (default: config/demo)
# The tool is $KORVEX_QFW, else the newest build/*/tools/qfw/korvex-qfw.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-$root/config/demo}"
qfw="${KORVEX_QFW:-}"
if [[ -z "$qfw" ]]; then
  qfw="$(ls -t "$root"/build/*/tools/qfw/korvex-qfw 2>/dev/null | head -n 1 || true)"
fi
if [[ -z "$qfw" || ! -x "$qfw" ]]; then
  echo "make_demo_firmware: korvex-qfw not found; build it or set KORVEX_QFW" >&2
  exit 2
fi

mkdir -p "$out"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

make_file() {
  local version="$1" date="$2"
  "$qfw" sample-program "$work/program_$version.bin" --seed "$version" >/dev/null
  "$qfw" pack --program "$work/program_$version.bin" --type 2 --version "$version" \
    --date "$date" --language EN --output "$out/demo_type2_v$version.qfw"
}

make_file 123 20241105
make_file 124 20250312
