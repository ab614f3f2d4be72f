#!/bin/sh
# Installs what the tests need, builds, and runs every test: a plain build, then the
# whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer, then each fuzz
# target for a bounded time (FUZZ_SECONDS, default 60).
# Options: --quick (plain build only).
set -eu
cd "$(dirname "$0")/.."

quick=0
for arg in "$@"; do
  case "$arg" in
    --quick) quick=1 ;;
    *) echo "unknown option: $arg" >&2; exit 64 ;;
  esac
done

# Seconds, and needs nothing installed: a wrong include fails the run before any build.
scripts/check-layers.sh

scripts/install-deps.sh test

jobs=$(nproc 2>/dev/null || echo 2)

build_suite() {
  dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DPOSTVANE_BUILD_TESTS=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

test_suite() {
  dir=$1; shift
  (cd "$dir" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$jobs" "$@")
}

run_suite() {
  build_suite "$@"
  test_suite "$1"
}

# Public real mail for the header test; without it the test reads Python's messages alone.
POSTVANE_MAIL_CORPUS=$(scripts/fetch-mail-corpus.sh || true)
export POSTVANE_MAIL_CORPUS

echo "== plain build and tests"
run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo

echo "== Windows build and tests under Wine"
scripts/test-windows.sh

if [ "$quick" -eq 0 ]; then
  echo "== sanitizer build and tests"
  export UBSAN_OPTIONS=print_stacktrace=1
  ASAN_OPTIONS=detect_leaks=0 build_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DPOSTVANE_SANITIZE=ON
  # Qt keeps some memory until the process ends, on purpose: leaks are looked for in every
  # test but the Qt ones (label "desktop").
  ASAN_OPTIONS=detect_leaks=1 test_suite build-asan -LE desktop
  ASAN_OPTIONS=detect_leaks=0 test_suite build-asan -L desktop

  echo "== fuzz targets"
  scripts/fuzz.sh --seconds "${FUZZ_SECONDS:-60}"
fi

echo "== all tests passed"
