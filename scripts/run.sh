#!/bin/sh
# Installs what Postvane needs, builds it and starts it in the notification area.
set -eu
cd "$(dirname "$0")/.."

scripts/install-deps.sh run
cmake -S . -B build-run -G Ninja -DCMAKE_BUILD_TYPE=Release -DPOSTVANE_BUILD_TESTS=OFF >/dev/null
cmake --build build-run -j "$(nproc 2>/dev/null || echo 2)"

program=build-run/src/desktop/postvane
if [ ! -x "$program" ]; then
  echo "Postvane core built; the desktop program is not part of this build yet."
  exit 0
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No desktop display here; to try Postvane headless run: scripts/try-headless.sh"
  exit 0
fi
exec "$program"
