#!/usr/bin/env bash
# Helpers for looking at the real window under a virtual X server: start Xvfb with a small
# window manager (so windows get frames and placement as on a desktop) and a simulated panel
# on a pseudo-terminal reached as COM1. Sourced by scripts/screenshot.sh and
# scripts/window-check.sh; needs xvfb, openbox, xdotool and imagemagick (scripts/install-deps.sh).
set -euo pipefail

window_session_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bin="${KORVEX_BUILD_DIR:-$window_session_root/build/default}"
work="$(mktemp -d)"
session_pids=()

window_session_cleanup() {
  local pid
  for pid in "${session_pids[@]}"; do
    kill -TERM "$pid" 2>/dev/null || true
  done
  for pid in "${session_pids[@]}"; do
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap window_session_cleanup EXIT

# Waits until a command succeeds, up to $1 tenths of a second.
wait_for() {
  local tenths="$1"
  shift
  for _ in $(seq "$tenths"); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}

# start_display SCREEN (e.g. 1280x1024x24): a virtual X server on a free display and a
# window manager on it; exports DISPLAY.
start_display() {
  local screen="$1" number=97
  while [[ -e "/tmp/.X11-unix/X$number" || -e "/tmp/.X$number-lock" ]]; do number=$((number + 1)); done
  Xvfb ":$number" -screen 0 "$screen" -nolisten tcp >"$work/xvfb.log" 2>&1 &
  session_pids+=($!)
  export DISPLAY=":$number"
  wait_for 100 xdpyinfo || { cat "$work/xvfb.log" >&2; echo "Xvfb did not start" >&2; return 1; }
  openbox >"$work/openbox.log" 2>&1 &
  session_pids+=($!)
  wait_for 50 xprop -root _NET_SUPPORTING_WM_CHECK
}

# start_panel FILE: a simulated type 2 panel holding the program of FILE, as COM1.
start_panel() {
  "$bin/sim/korvex-panel" --panel-type 2 --program "qfw:$1" --ready-file "$work/port" \
    --dump-dir "$work/dump" >"$work/panel.out" 2>&1 &
  session_pids+=($!)
  wait_for 100 test -s "$work/port" || { cat "$work/panel.out" >&2; return 1; }
  export KORVEX_COM1="$(cat "$work/port")"
}

# start_window ARGS...: the window program; waits until its main window is mapped and
# prints its window id.
start_window() {
  "$bin/src/gui/korvex" "$@" >"$work/korvex.out" 2>&1 &
  session_pids+=($!)
  window_pid=$!
  wait_for 100 xdotool search --onlyvisible --pid "$window_pid" --name '^KORVEX' || {
    cat "$work/korvex.out" >&2
    return 1
  }
  xdotool search --onlyvisible --pid "$window_pid" --name '^KORVEX' | head -1
}

# A visible window with this exact title (the display is ours alone); fails when there is none.
program_window() {
  local id
  id="$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1)"
  [[ -n "$id" ]] && echo "$id"
}

no_program_window() {
  ! program_window "$1" >/dev/null
}
