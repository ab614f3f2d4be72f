#!/bin/bash
# Footprint of the desktop program on a virtual display with a tray host and a private Dovecot:
#   - start-up to the first tray icon (median of several starts);
#   - resident memory and CPU while it idles, with ten enabled mailboxes: once with nothing new
#     (the tray refresh rewrites nothing), once with new mail in every mailbox (icons blink).
# Usage: bench/footprint.sh [build folder] [idle seconds]   (defaults: build-bench, 60)
set -eu
cd "$(dirname "$0")/.."
build=${1:-build-bench}
seconds=${2:-60}
starts=7

scripts/install-deps.sh test
if [ ! -x "$build/src/desktop/postvane" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPOSTVANE_BUILD_TESTS=OFF >/dev/null
  cmake --build "$build" --target postvane -j "$(nproc 2>/dev/null || echo 2)"
fi

. scripts/lib/headless.sh
work=$(mktemp -d /tmp/postvane-footprint.XXXXXX)
trap 'pv_cleanup; rm -rf "$work"' EXIT
trap 'exit 130' INT TERM
mkdir -p "$work/prog" "$work/runtime"
chmod 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime"
cp "$build/src/desktop/postvane" "$work/prog/postvane"

pv_start_display 640x240
pv_start_dovecot

{
  for i in 0 1 2 3 4 5 6 7 8 9; do
    printf '[MailBox%s]\r\nName=Box %s\r\nUser=alice\r\nPassword=%s\r\nRemoteHost=127.0.0.1\r\nRemotePort=%s\r\nEnabled=1\r\nLastMail=0\r\n' \
      "$i" "$i" "$(pv_stored_password secret)" "$PV_POP3_PORT"
  done
  printf '[General]\r\nInterval=5\r\nNotifyType=0\r\nTrayType=1\r\nDoubleClick=1\r\n'
} >"$work/prog/Postvane.ini"

now_ms() { echo $(($(date +%s%N) / 1000000)); }

stop_program() {
  kill -TERM -- "-$1" 2>/dev/null || true
  for _ in $(seq 1 100); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.05; done
  kill -KILL -- "-$1" 2>/dev/null || true
}

# The process that runs the program (pv_spawn's pid is setsid's, which execs it).
program_pid() {
  for _ in $(seq 1 100); do
    pid=$(pgrep -f -n -x "$work/prog/postvane" || true)
    if [ -n "$pid" ]; then echo "$pid"; return 0; fi
    sleep 0.01
  done
  return 1
}

echo "== start-up to the first tray icon ($starts starts)"
times=""
for _ in $(seq 1 "$starts"); do
  pv_tray_running || { pv_note "the tray host had gone; started again"; pv_start_tray; }
  start=$(now_ms)
  pv_spawn "$work/prog/postvane"
  pid=$PV_LAST_PID
  shown=0
  for _ in $(seq 1 2000); do
    if xdotool search --onlyvisible --classname postvane >/dev/null 2>&1; then shown=1; break; fi
    sleep 0.005
  done
  if [ "$shown" = 1 ]; then times="$times $(($(now_ms) - start))"; else pv_note "no icon within 10 s"; fi
  # Let the tray host finish embedding before the icon goes away again.
  sleep 1
  stop_program "$pid"
  sleep 0.3
done
[ -n "$times" ] || { echo "no start showed an icon" >&2; exit 1; }
sorted=$(printf '%s\n' $times | sort -n)
count=$(echo "$sorted" | wc -l)
echo "  times (ms):$times"
echo "  median $(echo "$sorted" | sed -n "$(((count + 1) / 2))p") ms, fastest $(echo "$sorted" | head -n1) ms, slowest $(echo "$sorted" | tail -n1) ms"

ticks=$(getconf CLK_TCK)
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
status_kb() { awk -v key="$2:" '$1 == key { print $2 }' "/proc/$1/status"; }

# idle LABEL: start, let the start-up check finish, then watch for $seconds.
idle() {
  pv_spawn "$work/prog/postvane"
  spawned=$PV_LAST_PID
  pid=$(program_pid)
  sleep 8
  before=$(cpu_ticks "$pid")
  rss_start=$(status_kb "$pid" VmRSS)
  sleep "$seconds"
  after=$(cpu_ticks "$pid")
  rss_end=$(status_kb "$pid" VmRSS)
  peak=$(status_kb "$pid" VmHWM)
  cpu=$(awk -v d=$((after - before)) -v t="$ticks" -v s="$seconds" 'BEGIN { printf "%.3f", 100 * d / (t * s) }')
  echo "== $1, ten enabled mailboxes, $seconds s"
  echo "  CPU $cpu % of one core ($((after - before)) ticks of 1/$ticks s)"
  echo "  resident $rss_start kB after start-up, $rss_end kB after $seconds s, peak $peak kB"
  stop_program "$spawned"
}

idle "nothing new (idle)"
for n in 1 2 3; do pv_deliver alice "Sender $n <sender$n@example.org>" "Message $n"; done
idle "three new messages in every mailbox (blinking)"
