#!/usr/bin/env bash
# Looks at what only a real window manager shows: starts the window under Xvfb with openbox
# at twice the density (QT_SCALE_FACTOR=2) on a 1280 x 1024 screen, without a file, so the
# about box comes up at start-up. Checks that the main window lies entirely on the screen and
# that the box is centred over it, and saves the screen for a person to look at.
#
# Usage: scripts/window-check.sh [OUTPUT.png]   (default build/window-check.png)
set -euo pipefail
source "$(dirname "$0")/window-session.sh"
out="${1:-$bin/window-check.png}"
screen_w=1280
screen_h=1024

start_display "${screen_w}x${screen_h}x24"
main="$(QT_SCALE_FACTOR=2 start_window)"
wait_for 100 program_window Information || { import -window root "$out"; echo "no about box" >&2; exit 1; }
box="$(program_window Information)"
sleep 0.5  # let both windows paint
import -window root "$out"

# "X Y W H" of a window's client area on the screen.
geometry() {
  xdotool getwindowgeometry --shell "$1" | awk -F= '/^X=/{x=$2} /^Y=/{y=$2} /^WIDTH=/{w=$2} /^HEIGHT=/{h=$2} END{print x, y, w, h}'
}
read -r mx my mw mh <<<"$(geometry "$main")"
read -r bx by bw bh <<<"$(geometry "$box")"
echo "screen ${screen_w}x${screen_h}; main window ${mw}x${mh} at $mx,$my; about box ${bw}x${bh} at $bx,$by"
status=0
if ((mx < 0 || my < 0 || mx + mw > screen_w || my + mh > screen_h)); then
  echo "FAIL: the main window is partly off the screen" >&2
  status=1
fi
dx=$(((bx + bw / 2) - (mx + mw / 2)))
dy=$(((by + bh / 2) - (my + mh / 2)))
if ((dx * dx > 400 || dy * dy > 1600)); then  # the frame's title bar shifts it a little
  echo "FAIL: the about box is not centred over the main window ($dx, $dy)" >&2
  status=1
fi
xdotool windowactivate --sync "$box" key Return 2>/dev/null || true
echo "saved $out"
exit "$status"
