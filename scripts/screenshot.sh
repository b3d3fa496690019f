#!/usr/bin/env bash
# Takes the README's picture of the window: runs the real window under a virtual X server
# against a simulated panel holding program 1.23, makes a Program run with 1.24 from the
# keyboard as an operator would (Ctrl+P, the port in the port dialog, Enter on the questions),
# and saves the window after the run.
#
# Usage: scripts/screenshot.sh [OUTPUT.png]   (default docs/window.png)
set -euo pipefail
source "$(dirname "$0")/window-session.sh"
out="${1:-$window_session_root/docs/window.png}"
mkdir -p "$(dirname "$out")"

# On failure the whole screen is kept beside the output, to see what went wrong.
fail() {
  import -window root "${out%.png}.failed.png" 2>/dev/null || true
  echo "screenshot: $* (the screen is in ${out%.png}.failed.png)" >&2
  exit 1
}

start_display 1280x1024x24
# The file from a short path, as a technician's would be; the status bar shows it.
mkdir -p "$work/firmware"
cp "$window_session_root/config/demo/demo_type2_v124.qfw" "$work/firmware/"
start_panel "$window_session_root/config/demo/demo_type2_v123.qfw"
main="$(start_window "$work/firmware/demo_type2_v124.qfw")"
xdotool windowactivate --sync "$main"

# Ctrl+P is ignored while the start-up check of the file still holds the window locked, so
# it is pressed again until the port dialog shows.
for _ in $(seq 10); do
  xdotool key --window "$main" ctrl+p
  wait_for 30 program_window 'Choose port' && break
done
program_window 'Choose port' >/dev/null || fail "no port dialog"
dialog="$(program_window 'Choose port')"
# The list lists the panel's port after the no-port entry; move to it and confirm.
xdotool windowactivate --sync "$dialog" key Down key Return

# Answer the questions with their default (Yes) until the last box, "Updating ok.".
done_box=""
for _ in $(seq 600); do
  for title in Confirm Warning; do
    if box="$(program_window "$title")"; then
      xdotool windowactivate --sync "$box" key Return 2>/dev/null || true
    fi
  done
  for box in $(xdotool search --onlyvisible --name '^Information$' 2>/dev/null); do
    # The wait dialog is "Information" too; it is the one 234 pixels wide.
    width="$(xdotool getwindowgeometry "$box" 2>/dev/null | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p' || true)"
    if [[ -n "$width" ]] && ((width != 234)); then done_box="$box"; fi
  done
  [[ -n "$done_box" ]] && break
  sleep 0.2
done
[[ -n "$done_box" ]] || fail "the run did not end with a box"
xdotool windowactivate --sync "$done_box" key Return
wait_for 50 no_program_window Information
sleep 0.5  # let the window repaint after the box closed
import -window "$main" -frame "$out"
echo "saved $out"
