#!/bin/sh
# Builds the libFuzzer targets with clang and runs them.
#
# Short run (CI): each target for a bounded time with ASan and UBSan, starting from the kept
# corpus in fuzz/corpus; new inputs go to the build folder, never into the repository; a crash
# or broken invariant stops the script and leaves the input under <build>/artifacts.
#   Options: --seconds N (per target, default 60), --build DIR (default build-fuzz),
#            --target NAME (only that one; may be given more than once).
#
# Long run: scripts/fuzz.sh --long HOURS [--target NAME]...
#   The hours are shared by the targets. Each target first runs in a build without sanitizers
#   (several times faster), then its grown corpus is replayed and fuzzed further with ASan and
#   UBSan. The grown corpus lives in fuzz-out/corpus/<target> and carries over to the next long
#   run; fuzz/corpus/<target> becomes its named seeds plus a minimal set (-set_cover_merge=1)
#   with the coverage of everything found so far, to be committed.
#   Every phase appends a line to fuzz/ledger.tsv, whose last column adds up the executions of
#   all long runs so far.
set -eu
cd "$(dirname "$0")/.."

seconds=60
build=build-fuzz
targets=""
hours=""
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    --target) targets="$targets $2"; shift 2 ;;
    --long) hours=$2; shift 2 ;;
    *) echo "unknown option: $1" >&2; exit 64 ;;
  esac
done
[ -n "$targets" ] || targets="fuzz_cycle fuzz_dialogue fuzz_rules fuzz_settings fuzz_headers fuzz_certificate fuzz_imap_reader fuzz_imap_session fuzz_oauth"
jobs=$(nproc 2>/dev/null || echo 2)

configure() {
  dir=$1; sanitize=$2
  launcher=""
  if command -v ccache >/dev/null 2>&1; then launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"; fi
  # shellcheck disable=SC2086
  CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPOSTVANE_BUILD_FUZZERS=ON -DPOSTVANE_FUZZ_SANITIZE="$sanitize" -DPOSTVANE_BUILD_TESTS=OFF \
    -DPOSTVANE_BUILD_DESKTOP=OFF -DPOSTVANE_BUILD_BENCHMARKS=OFF $launcher >/dev/null
  # shellcheck disable=SC2086
  cmake --build "$dir" -j "$jobs" --target $targets
}

dictionary() {
  case "$1" in
    fuzz_settings) echo fuzz/settings.dict ;;
    fuzz_headers) echo fuzz/headers.dict ;;
    fuzz_certificate) echo fuzz/certificate.dict ;;
    fuzz_imap_*) echo fuzz/imap.dict ;;
    fuzz_oauth) echo fuzz/oauth.dict ;;
    *) echo fuzz/dialogue.dict ;;
  esac
}

# Runs one target: binary, seconds, log, artifact folder, corpus folders (the first gets new
# inputs). Fails with the end of the log when the target found something.
run_target() {
  binary=$1; time=$2; log=$3; artifacts=$4; shift 4
  target=$(basename "$binary")
  if ! "$binary" -max_total_time="$time" -max_len=8192 -rss_limit_mb=2048 -timeout=20 \
      -print_final_stats=1 -dict="$(dictionary "$target")" \
      -artifact_prefix="$artifacts/$target-" "$@" >"$log" 2>&1; then
    tail -n 60 "$log" >&2
    echo "$target found a problem; the input is in $artifacts" >&2
    exit 1
  fi
}

executions() { sed -n 's/^stat::number_of_executed_units: *//p' "$1" | tail -n 1; }
# The last status line carries coverage (cov), features (ft) and the corpus size (corp).
status_field() {
  grep -E '^#[0-9]+' "$1" | tail -n 1 | sed -n "s/.* $2: \([0-9/a-zA-Z]*\).*/\1/p"
}

if [ -z "$hours" ]; then
  configure "$build" ON
  mkdir -p "$build/artifacts"
  for target in $targets; do
    work="$build/corpus/$target"
    mkdir -p "$work"
    log="$build/$target.log"
    echo "== $target for ${seconds}s"
    run_target "$build/fuzz/$target" "$seconds" "$log" "$build/artifacts" "$work" "fuzz/corpus/$target"
    echo "$target: $(executions "$log") executions; cov: $(status_field "$log" cov) ft: $(status_field "$log" ft)"
  done
  exit 0
fi

case "$hours" in
  '' | *[!0-9.]* | .) echo "--long needs a number of hours" >&2; exit 64 ;;
esac
fast=build-fuzz-fast
checked=build-fuzz
configure "$fast" OFF
configure "$checked" ON
out=fuzz-out
ledger=fuzz/ledger.tsv
mkdir -p "$out/artifacts" "$out/logs"
[ -s "$ledger" ] || printf 'date\ttarget\tphase\tseconds\texecutions\tcov\tft\tcorpus\ttotal_executions\n' >"$ledger"

count=$(echo $targets | wc -w)
share=$(awk -v h="$hours" -v n="$count" 'BEGIN { s = int(h * 3600 / n); print (s < 10 ? 10 : s) }')
# Most of the time without sanitizers; the rest replays the grown corpus and goes on with them.
fast_seconds=$(awk -v s="$share" 'BEGIN { print int(s * 0.8) }')
checked_seconds=$((share - fast_seconds))

record() {
  target=$1; phase=$2; time=$3; log=$4
  runs=$(executions "$log"); runs=${runs:-0}
  before=$(awk -F '\t' -v t="$target" 'NR > 1 && $2 == t { n = $9 } END { print n + 0 }' "$ledger")
  total=$((before + runs))
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$(date -u +%Y-%m-%dT%H:%M:%SZ)" "$target" \
    "$phase" "$time" "$runs" "$(status_field "$log" cov)" "$(status_field "$log" ft)" \
    "$(ls "$out/corpus/$target" | wc -l)" "$total" >>"$ledger"
  echo "$target ($phase, ${time}s): $runs executions, cov: $(status_field "$log" cov), $total in all long runs"
}

# The kept corpus anew: the named seeds (fuzz/corpus.py's and the regression-* inputs) always
# stay; of everything else, kept and grown, a small set with the same coverage (set cover).
keep() {
  target=$1
  kept="fuzz/corpus/$target"
  before=$(ls "$kept" | wc -l)
  fresh=$(mktemp -d)
  "$fast/fuzz/$target" -set_cover_merge=1 "$fresh" "$kept" "$out/corpus/$target" \
    >"$out/logs/$target-merge.log" 2>&1
  named=$(find "$kept" -type f ! -regex '.*/[0-9a-f]\{40\}' -exec sha1sum {} + | cut -c1-40)
  find "$kept" -type f -regex '.*/[0-9a-f]\{40\}' -delete
  for input in "$fresh"/*; do
    [ -e "$input" ] || continue
    name=$(basename "$input")
    case "$named" in *"$name"*) continue ;; esac
    cp "$input" "$kept/$name"
  done
  rm -rf "$fresh"
  echo "$target: kept corpus $before -> $(ls "$kept" | wc -l) inputs"
}

for target in $targets; do
  grown="$out/corpus/$target"
  mkdir -p "$grown"
  echo "== $target: ${fast_seconds}s without sanitizers"
  log="$out/logs/$target-fast.log"
  run_target "$fast/fuzz/$target" "$fast_seconds" "$log" "$out/artifacts" "$grown" "fuzz/corpus/$target"
  record "$target" fast "$fast_seconds" "$log"

  echo "== $target: ${checked_seconds}s with ASan and UBSan over the grown corpus"
  log="$out/logs/$target-checked.log"
  run_target "$checked/fuzz/$target" "$checked_seconds" "$log" "$out/artifacts" "$grown" "fuzz/corpus/$target"
  record "$target" checked "$checked_seconds" "$log"

  keep "$target"
done
echo "== ledger: $ledger"
