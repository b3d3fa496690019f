#!/usr/bin/env bash
# Fails when a C++ source or header of the repository is not formatted as .clang-format says.
# Uses clang-format 14 (installed by scripts/install-deps.sh): other versions format some
# constructs differently. With --fix the files are formatted in place instead.
set -euo pipefail
cd "$(dirname "$0")/.."
formatter="${CLANG_FORMAT:-clang-format-14}"
if ! command -v "$formatter" >/dev/null; then
  echo "check-format: $formatter not found; run scripts/install-deps.sh" >&2
  exit 2
fi
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--fix" ]; then
  "$formatter" -i "${files[@]}"
else
  "$formatter" --dry-run --Werror "${files[@]}"
fi
