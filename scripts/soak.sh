#!/bin/sh
# The long soak, apart from CI (which runs 50 cycles as the CTest test soak_50_cycles): builds
# the tray program and postvane-check, then runs scripts/soak.py against its scripted servers
# and a private Dovecot. Prints the figures as JSON and keeps them in <build>/soak-*.json.
# Options: --cycles N (default 1000), --with-cli (postvane-check --ack every few seconds
#          beside the tray), --asan (an ASan+UBSan build), --build DIR.
# Docs: docs/reliability.md.
set -eu
cd "$(dirname "$0")/.."

cycles=1000
with_cli=""
asan=0
build=""
while [ $# -gt 0 ]; do
  case "$1" in
    --cycles) cycles=$2; shift 2 ;;
    --with-cli) with_cli="--with-cli"; shift ;;
    --asan) asan=1; shift ;;
    --build) build=$2; shift 2 ;;
    *) echo "unknown option: $1" >&2; exit 64 ;;
  esac
done

scripts/install-deps.sh test
if [ "$asan" -eq 1 ]; then
  build=${build:-build-soak-asan}
  flags="-DCMAKE_BUILD_TYPE=Debug -DPOSTVANE_SANITIZE=ON"
  # Qt keeps some memory until the process ends, on purpose.
  export ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1
else
  build=${build:-build-soak}
  flags="-DCMAKE_BUILD_TYPE=RelWithDebInfo"
fi
# shellcheck disable=SC2086
cmake -S . -B "$build" -G Ninja -DPOSTVANE_BUILD_TESTS=OFF $flags >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target postvane postvane-check

mode=tray
[ -z "$with_cli" ] || mode=tray-and-check
report="$build/soak-$mode-$cycles.json"
# shellcheck disable=SC2086
python3 scripts/soak.py --program "$build/src/desktop/postvane" \
  --check "$build/src/desktop/postvane-check" $with_cli --cycles "$cycles" --report "$report"
echo "figures kept in $report"
