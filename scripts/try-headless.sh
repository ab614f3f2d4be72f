#!/bin/bash
# Runs Postvane on a virtual display with a notification area, for a machine without a desktop.
# Builds it like scripts/run.sh, starts it, saves a picture of the screen and tells how to look
# at it and click it. Stops everything on Ctrl-C, or after the given number of seconds.
# Usage: scripts/try-headless.sh [seconds]
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)

seconds=${1:-0}
case "$seconds" in *[!0-9]*) echo "usage: $0 [seconds]" >&2; exit 64 ;; esac

scripts/install-deps.sh headless
cmake -S . -B build-run -G Ninja -DCMAKE_BUILD_TYPE=Release -DPOSTVANE_BUILD_TESTS=OFF >/dev/null
cmake --build build-run -j "$(nproc 2>/dev/null || echo 2)"
program="$root/build-run/src/desktop/postvane"

. scripts/lib/headless.sh
trap pv_cleanup EXIT
trap 'exit 130' INT TERM

pv_start_display 800x600
pv_spawn "$program"
sleep 2
if ! kill -0 "$PV_LAST_PID" 2>/dev/null; then
  echo "Postvane ended at once: another Postvane of this user is already running." >&2
  exit 1
fi
import -window root "$root/build-run/headless-screen.png"

vnc=""
if command -v x11vnc >/dev/null 2>&1; then
  pv_spawn x11vnc -display "$DISPLAY" -localhost -forever -nopw -quiet -rfbport 5900
  vnc="  Watch and click with a VNC viewer on localhost:5900 (x11vnc is running)."
fi

cat <<TEXT
Postvane is running on the virtual display $DISPLAY; its icon is at the top left.
  Picture of the screen:  DISPLAY=$DISPLAY import -window root screen.png
                          (one was saved as build-run/headless-screen.png)
  Open the tray menu:     DISPLAY=$DISPLAY xdotool mousemove 12 16 click 3
  Acknowledge new mail:   DISPLAY=$DISPLAY xdotool mousemove 12 16 click 1
  Settings file:          build-run/src/desktop/Postvane.ini (edit it, then start again)
$vnc
Press Ctrl-C to stop.
TEXT

if [ "$seconds" -gt 0 ]; then
  sleep "$seconds"
else
  while kill -0 "$PV_LAST_PID" 2>/dev/null; do sleep 1; done
fi
