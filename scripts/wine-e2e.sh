#!/usr/bin/env bash
# End-to-end tests of the Windows korvex-cli.exe under Wine against korvex-panel (the Linux
# simulator) on a pseudo-terminal, reached as a COM port: Wine maps COMn through the symbolic
# link $WINEPREFIX/dosdevices/comn. Cases: a Program run 1.23 -> 1.24 from a file with a
# non-ASCII name (the panel's FLASH equals the file afterwards), a Test run on a port given by
# its name, an absent panel (with the CPU time the 120 s wait costs), a missing port, and
# Ctrl+C (one stops the run, a second ends the program with 130).
# Needs the default and the windows presets built. Ends with 0 when every case passed.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

linux="build/default"
windows="build/windows"
cli_exe="$windows/src/cli/korvex-cli.exe"
panel="$linux/sim/korvex-panel"
qfw="$linux/tools/qfw/korvex-qfw"
for program in "$cli_exe" "$panel" "$qfw"; do
  [[ -f "$program" ]] || { echo "wine-e2e: $program was not built" >&2; exit 1; }
done

export WINEPREFIX="$root/$windows/wineprefix" WINEDEBUG=-all
# No .NET or browser installers and no desktop menu entries in a test prefix.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
wine_bin="$(command -v wine)"
[[ -f "$WINEPREFIX/system.reg" ]] || "$wine_bin" wineboot -i >/dev/null 2>&1
# One wineserver for the whole script, so its CPU time can be read and every case starts fast.
wineserver -f -p &
server_pid=$!

work="$(mktemp -d)"
panel_pid=""
sink_pid=""
failures=0
stop_panel() {
  if [[ -n "$panel_pid" ]] && kill -0 "$panel_pid" 2>/dev/null; then
    kill -TERM "$panel_pid" 2>/dev/null || true
    wait "$panel_pid" 2>/dev/null || true
  fi
  panel_pid=""
}
cleanup() {
  stop_panel
  wineserver -k 2>/dev/null || true
  wait "$server_pid" 2>/dev/null || true
  [[ -n "$sink_pid" ]] && kill "$sink_pid" 2>/dev/null || true
  rm -f "$WINEPREFIX/dosdevices/com7"
  rm -rf "$work"
}
trap cleanup EXIT

# CPU time (clock ticks) of the script's wineserver.
wineserver_ticks() {
  awk '{print $14 + $15}' "/proc/$server_pid/stat" 2>/dev/null || echo 0
}

pass() { echo "PASS  $*"; }
fail() { echo "FAIL  $*"; failures=$((failures + 1)); }

# start_panel NAME ARGS...: a panel on a pseudo-terminal, reached as COM7.
start_panel() {
  local name="$1"
  shift
  mkdir -p "$work/$name"
  "$panel" "$@" --ready-file "$work/$name/port" --dump-dir "$work/$name/dump" \
    >"$work/$name/panel.out" 2>&1 &
  panel_pid=$!
  for _ in $(seq 100); do
    [[ -s "$work/$name/port" ]] && break
    sleep 0.1
  done
  ln -sfn "$(cat "$work/$name/port")" "$WINEPREFIX/dosdevices/com7"
}

# run_cli EXPECTED NAME ARGS...: korvex-cli.exe with its output kept in $work/NAME.out.
run_cli() {
  local expected="$1" name="$2"
  shift 2
  local code=0
  "$wine_bin" "$cli_exe" "$@" >"$work/$name.out" 2>&1 || code=$?
  if [[ "$code" == "$expected" ]]; then
    pass "$name: exit code $code"
  else
    fail "$name: exit code $code, expected $expected"
    tail -n 20 "$work/$name.out"
  fi
}

old_file="config/demo/demo_type2_v123.qfw"
new_file="config/demo/demo_type2_v124.qfw"
# The firmware file under a folder and a name outside the ANSI code page.
unicode_dir="$work/José"
mkdir -p "$unicode_dir"
unicode_file="$unicode_dir/Zażółć 1.24.qfw"
cp "$new_file" "$unicode_file"

echo "== Program run 1.23 -> 1.24 on COM7 (file: $unicode_file)"
start_panel program --panel-type 2 --program "qfw:$old_file"
run_cli 6 program "$unicode_file" 7
# Messages show the name as it is: the one of a missing file, in its Windows form.
run_cli 1 unicode-missing check "$unicode_dir/Zażółć brak.qfw"
if grep -q 'José\\Zażółć brak.qfw' "$work/unicode-missing.out"; then
  pass "unicode-missing: the name is shown unchanged"
else
  fail "unicode-missing: the name is not shown unchanged"
  cat "$work/unicode-missing.out"
fi
stop_panel
"$qfw" unpack "$new_file" --program "$work/program.bin" >/dev/null
size="$(stat -c %s "$work/program.bin")"
if cmp -s -n "$size" "$work/program/dump/flash.bin" "$work/program.bin"; then
  pass "program: the panel's FLASH equals the file's program"
else
  fail "program: the panel's FLASH differs from the file's program"
fi

echo "== Test run on com7 (the port by its name)"
start_panel test --panel-type 2 --program "qfw:$new_file"
run_cli 5 test test "$new_file" com7
stop_panel

echo "== Missing port (COM42 is mapped to nothing)"
run_cli 2 missing-port "$new_file" 42

echo "== Ctrl+C during a Program run: the run stops, the panel is not restarted"
start_panel ctrl-c --panel-type 2 --program "qfw:$old_file" --realistic
"$wine_bin" "$cli_exe" "$new_file" 7 >"$work/ctrl-c.out" 2>&1 &
cli_pid=$!
for _ in $(seq 300); do
  grep -q "FLASH erasing" "$work/ctrl-c.out" 2>/dev/null && break
  sleep 0.2
done
kill -INT "$cli_pid"
code=0
wait "$cli_pid" || code=$?
if [[ "$code" != 0 && "$code" != 5 && "$code" != 6 && "$code" != 130 ]] &&
  grep -q "Stop requested" "$work/ctrl-c.out"; then
  pass "ctrl-c: stopped, exit code $code"
else
  fail "ctrl-c: exit code $code"
  tail -n 20 "$work/ctrl-c.out"
fi

echo "== A second Ctrl+C ends the program at once with 130"
"$wine_bin" "$cli_exe" "$new_file" 7 >"$work/ctrl-c2.out" 2>&1 &
cli_pid=$!
for _ in $(seq 300); do
  grep -q "File checking" "$work/ctrl-c2.out" 2>/dev/null && break
  sleep 0.2
done
kill -INT "$cli_pid"
for _ in $(seq 50); do
  grep -q "Stop requested" "$work/ctrl-c2.out" 2>/dev/null && break
  sleep 0.1
done
kill -INT "$cli_pid" 2>/dev/null || true
code=0
wait "$cli_pid" || code=$?
# The run may have ended on the first Ctrl+C before the second one came.
if [[ "$code" == 130 ]] || { [[ "$code" != 0 && "$code" != 5 && "$code" != 6 ]] &&
  grep -q "Stop requested" "$work/ctrl-c2.out"; }; then
  pass "ctrl-c twice: exit code $code"
else
  fail "ctrl-c twice: exit code $code"
  tail -n 20 "$work/ctrl-c2.out"
fi
stop_panel

echo "== Absent panel: a terminal nobody answers on (waits the full 120 s)"
python3 -c '
import os, pty, sys
master, slave = pty.openpty()
print(os.ttyname(slave), flush=True)
while True:
    if not os.read(master, 4096):
        break
' >"$work/absent.port" &
sink_pid=$!
for _ in $(seq 50); do
  [[ -s "$work/absent.port" ]] && break
  sleep 0.1
done
ln -sfn "$(head -n 1 "$work/absent.port")" "$WINEPREFIX/dosdevices/com7"
# The CPU the wait costs is reported, not judged (timings belong in benchmarks): the program's
# own and that of the prefix's wineserver, which serves every serial call.
server_ticks_before="$(wineserver_ticks)"
/usr/bin/time -f "%e %U %S" -o "$work/absent.time" \
  "$wine_bin" "$cli_exe" "$new_file" 7 >"$work/absent.out" 2>&1 && code=0 || code=$?
server_ticks_after="$(wineserver_ticks)"
read -r wall user sys < <(tail -n 1 "$work/absent.time")
server_cpu="$(awk -v t=$((server_ticks_after - server_ticks_before)) -v hz="$(getconf CLK_TCK)" \
  'BEGIN { printf "%.2f", t / hz }')"
echo "   korvex-cli.exe: ${wall} s wall, ${user} s user + ${sys} s system CPU;" \
  "wineserver: ${server_cpu} s CPU"
if [[ "$code" == 3 ]]; then pass "absent panel: exit code 3"; else
  fail "absent panel: exit code $code, expected 3"
  tail -n 20 "$work/absent.out"
fi

echo
if [[ "$failures" -eq 0 ]]; then
  echo "wine-e2e: all cases passed"
else
  echo "wine-e2e: $failures case(s) failed"
  exit 1
fi
