#!/usr/bin/env bash
# The Win32 window under Wine and Xvfb: `korvex.exe FILE 7` programs a simulated type 2
# panel (korvex-panel on a pseudo-terminal reached as COM7 through the Wine prefix's
# dosdevices/com7) from 1.23 to 1.24 and ends with exit code 6; the panel's FLASH then equals
# the file's program. A screenshot of the window taken while it waits for the panel to
# restart (programming done, the "Wait..." window up) is kept for a person to look at.
#
# Usage: window_wine_check.sh KORVEX_EXE KORVEX_PANEL KORVEX_QFW ARTIFACT_DIR
# WINEPREFIX is used when set, else a prefix beside ARTIFACT_DIR (created on first use).
set -euo pipefail

if [[ $# -ne 4 ]]; then
  echo "usage: $0 KORVEX_EXE KORVEX_PANEL KORVEX_QFW ARTIFACT_DIR" >&2
  exit 2
fi
exe="$(realpath "$1")"
panel="$(realpath "$2")"
qfw="$(realpath "$3")"
mkdir -p "$4"
artifacts="$(realpath "$4")"

# Without a display, run the whole check inside a virtual one.
if [[ -z "${DISPLAY:-}" ]]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$exe" "$panel" "$qfw" "$artifacts"
fi

root="$(cd "$(dirname "$0")/../.." && pwd)"
old_file="$root/config/demo/demo_type2_v123.qfw"
new_file="$root/config/demo/demo_type2_v124.qfw"
export WINEPREFIX="${WINEPREFIX:-$(dirname "$artifacts")/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
# The run's wait for the panel's restart lasts its full 11.5 s on a pseudo-terminal (no CTS),
# so the "Wait..." window is up long enough to be found; a failed run never shows it.
wait_window_limit=180

work="$(mktemp -d)"
panel_pid=""
window_pid=""
cleanup() {
  for pid in "$window_pid" "$panel_pid"; do
    if [[ -n "$pid" ]] && kill -0 "$pid" 2>/dev/null; then
      kill -TERM "$pid" 2>/dev/null || true
      wait "$pid" 2>/dev/null || true
    fi
  done
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "window_wine_check: $*" >&2
  exit 1
}

wineboot -i >/dev/null 2>&1 || fail "cannot prepare the Wine prefix $WINEPREFIX"
mkdir -p "$WINEPREFIX/dosdevices"
# No window manager runs on the virtual display: Wine draws the window frames itself, so the
# screenshot shows the captions and the wait window's border.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1 ||
  fail "cannot set up the Wine prefix's window frames"

# The panel prints its port's path once the port (and the COM7 link) is ready.
mkfifo "$work/panel.out"
"$panel" --panel-type 2 --program "qfw:$old_file" --link "$WINEPREFIX/dosdevices/com7" \
  --log "$artifacts/panel.log" --dump-dir "$work/dump" >"$work/panel.out" 2>"$work/panel.err" &
panel_pid=$!
exec 3<"$work/panel.out"
read -r port <&3 || fail "korvex-panel did not start: $(cat "$work/panel.err")"
echo "korvex-panel serves $port as COM7"

wine "$exe" "$new_file" 7 >"$artifacts/korvex-window.out" 2>&1 &
window_pid=$!
# Alt+F4 while the run goes on: the window refuses to close, and the tap of Alt must not hold
# the run in the menu bar's keyboard loop (either would keep the "Wait..." window away).
main_window="$(timeout "$wait_window_limit" xdotool search --sync --onlyvisible --name '^KORVEX' |
  head -n 1)" || fail "the main window never showed"
xdotool key --window "$main_window" alt+F4
if timeout "$wait_window_limit" xdotool search --sync --onlyvisible --name '^Information$' \
  >/dev/null; then
  import -window root "$artifacts/korvex-window-after-run.png"
  echo "screenshot: $artifacts/korvex-window-after-run.png"
else
  fail "the Wait... window never showed (the run failed or hangs): see $artifacts"
fi
code=0
wait "$window_pid" || code=$?
window_pid=""
[[ "$code" == 6 ]] || fail "korvex.exe FILE 7 ended with exit code $code, expected 6"
echo "korvex.exe FILE 7 ended with exit code 6"

kill -TERM "$panel_pid"
wait "$panel_pid" || fail "korvex-panel did not end cleanly"
panel_pid=""
"$qfw" unpack "$new_file" --program "$work/program.bin" >/dev/null
size="$(stat -c %s "$work/program.bin")"
cmp -n "$size" "$work/dump/flash.bin" "$work/program.bin" ||
  fail "the panel's FLASH differs from the file's program"
if [[ -s "$work/dump/violations.txt" ]]; then
  cat "$work/dump/violations.txt" >&2
  fail "the panel recorded requests a correct PC never sends"
fi
echo "The panel's FLASH equals the program of $(basename "$new_file")."
