#!/usr/bin/env bash
# The demonstration: builds KORVEX, starts a simulated SOLANTA Medium panel (type 2) that holds
# program 1.23 on a pseudo-terminal, programs version 1.24 into it with korvex-cli exactly as
# a production fixture would (file and COM port number), then runs a comparison (Test) run,
# checks the panel's FLASH against the file and shows the results.
# Ends with 0 when every step gave the expected exit code, 1 otherwise.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

new_file="config/demo/demo_type2_v124.qfw"
old_file="config/demo/demo_type2_v123.qfw"

bold=""; red=""; green=""; plain=""
if [[ -t 1 ]]; then bold=$'\033[1m'; red=$'\033[1;31m'; green=$'\033[1;32m'; plain=$'\033[0m'; fi
step() { printf '\n%s== %s%s\n' "$bold" "$*" "$plain"; }
fail() { printf '\n%sDEMO FAILED: %s%s\n' "$red" "$*" "$plain" >&2; exit 1; }

step "Installing what is missing and building (scripts/build.sh default)"
scripts/install-deps.sh || fail "installing the build's packages failed"
scripts/build.sh default || fail "the build failed"
bin="build/default"
cli="$bin/src/cli/korvex-cli"
panel="$bin/sim/korvex-panel"
qfw="$bin/tools/qfw/korvex-qfw"
for program in "$cli" "$panel" "$qfw"; do
  [[ -x "$program" ]] || fail "$program was not built"
done

work="$(mktemp -d)"
panel_pid=""
cleanup() {
  if [[ -n "$panel_pid" ]] && kill -0 "$panel_pid" 2>/dev/null; then
    kill -TERM "$panel_pid" 2>/dev/null || true
    wait "$panel_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

step "Starting a simulated type 2 panel holding program 1.23 ($old_file)"
"$panel" --panel-type 2 --program "qfw:$old_file" --ready-file "$work/port" \
  --log "$work/panel.log" --dump-dir "$work/dump" >"$work/panel.out" 2>&1 &
panel_pid=$!
for _ in $(seq 100); do
  [[ -s "$work/port" ]] && break
  kill -0 "$panel_pid" 2>/dev/null || { cat "$work/panel.out" >&2; fail "korvex-panel ended"; }
  sleep 0.1
done
[[ -s "$work/port" ]] || fail "korvex-panel did not become ready"
port="$(cat "$work/port")"
# The fixture's COM port number 1 names the panel's pseudo-terminal.
export KORVEX_COM1="$port"
echo "The panel serves $port, reached as COM1 (KORVEX_COM1)."

# Runs korvex-cli and checks its exit code; the code lands in the named variable.
run_cli() {
  local expected="$1" result_var="$2"
  shift 2
  echo "\$ korvex-cli $*"
  local code=0
  "$cli" "$@" || code=$?
  printf -v "$result_var" '%s' "$code"
  if [[ "$code" != "$expected" ]]; then
    fail "korvex-cli $* ended with exit code $code, expected $expected"
  fi
}

step "Step 1: programming version 1.24 unattended (expected exit code 6: written)"
run_cli 6 program_code "$new_file" 1

step "Step 2: comparing the panel with the file in a Test run (expected exit code 5: nothing written)"
# After the restart the panel runs its new program; the technician enters the starter from
# the panel's service menu, which korvex-panel does on SIGUSR1.
kill -USR1 "$panel_pid"
run_cli 5 test_code test "$new_file" 1

step "Step 3: stopping the panel and comparing its FLASH with the file's program"
kill -TERM "$panel_pid"
wait "$panel_pid" || fail "korvex-panel did not end cleanly"
panel_pid=""
"$qfw" unpack "$new_file" --program "$work/program.bin" >/dev/null
size="$(stat -c %s "$work/program.bin")"
cmp -n "$size" "$work/dump/flash.bin" "$work/program.bin" \
  || fail "the panel's FLASH differs from the file's program"
echo "The panel's FLASH 0x00000..$(printf '0x%05X' $((size - 1))) equals the program in $new_file."
if [[ -s "$work/dump/violations.txt" ]]; then
  cat "$work/dump/violations.txt" >&2
  fail "the panel recorded requests a correct PC never sends"
fi

printf '\n%s==========================================================================%s\n' "$bold" "$plain"
printf '%s KORVEX demo result%s\n' "$bold" "$plain"
printf '   Program run  panel 1.23 -> file 1.24   exit code %s  (success, the panel was written)\n' "$program_code"
printf '   Test run     panel vs file 1.24        exit code %s  (success, nothing was written)\n' "$test_code"
printf '   Panel FLASH equals the file'"'"'s program; no protocol violations\n'
printf '%s Demo passed.%s\n' "$green" "$plain"
printf '%s==========================================================================%s\n' "$bold" "$plain"
