#!/bin/sh
# Builds the libFuzzer targets with clang and runs each for a bounded time, starting from the
# seed corpora in fuzz/corpus. New inputs go to the build folder, never into the repository;
# a crash or broken invariant stops the script and leaves the input under <build>/artifacts.
# Options: --seconds N (per target, default 60), --build DIR (default build-fuzz),
#          --target NAME (only that one; may be given more than once).
set -eu
cd "$(dirname "$0")/.."

seconds=60
build=build-fuzz
targets=""
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    --target) targets="$targets $2"; shift 2 ;;
    *) echo "unknown option: $1" >&2; exit 64 ;;
  esac
done
[ -n "$targets" ] || targets="fuzz_cycle fuzz_dialogue fuzz_rules fuzz_settings"

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPOSTVANE_BUILD_FUZZERS=ON -DPOSTVANE_BUILD_TESTS=OFF -DPOSTVANE_BUILD_DESKTOP=OFF \
  -DPOSTVANE_BUILD_BENCHMARKS=OFF >/dev/null
# shellcheck disable=SC2086
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target $targets

mkdir -p "$build/artifacts"
for target in $targets; do
  case "$target" in
    fuzz_settings) dict=fuzz/settings.dict ;;
    *) dict=fuzz/dialogue.dict ;;
  esac
  work="$build/corpus/$target"
  mkdir -p "$work"
  log="$build/$target.log"
  echo "== $target for ${seconds}s"
  if ! "$build/fuzz/$target" -max_total_time="$seconds" -max_len=8192 -rss_limit_mb=2048 \
      -timeout=20 -print_final_stats=1 -dict="$dict" \
      -artifact_prefix="$build/artifacts/$target-" "$work" "fuzz/corpus/$target" >"$log" 2>&1; then
    tail -n 60 "$log" >&2
    echo "$target found a problem; the input is in $build/artifacts" >&2
    exit 1
  fi
  # The last status line carries coverage (cov), features (ft) and the corpus size.
  status=$(grep -E '^#[0-9]+' "$log" | tail -n 1)
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  echo "$target: $runs executions; $(echo "$status" | sed 's/.*\(cov: .*\) lim:.*/\1/')"
done
