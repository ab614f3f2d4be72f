#!/bin/bash
# Takes the pictures in docs/screenshots/: Postvane on a virtual display with a tray host,
# checking a private Dovecot. Tray idle, checking and with new mail (both blink frames, on a
# dark and on a light panel); the status window; the three tabs of the configuration dialog;
# the Mailboxes tab with IMAP chosen, and signing in with OAuth; the about window; the first start, from the dialog to the first checked mailbox.
# Usage: scripts/screenshots.sh [build folder]   (default: build-run, built if missing)
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
build=${1:-build-run}

scripts/install-deps.sh test
if [ ! -x "$build/src/desktop/postvane" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPOSTVANE_BUILD_TESTS=OFF >/dev/null
  cmake --build "$build" --target postvane -j "$(nproc 2>/dev/null || echo 2)"
fi

. scripts/lib/headless.sh
work=$(mktemp -d /tmp/postvane-screenshots.XXXXXX)
trap 'pv_cleanup; rm -rf "$work"' EXIT
trap 'exit 130' INT TERM

out="$root/docs/screenshots"
mkdir -p "$out" "$work/prog" "$work/runtime"
chmod 700 "$work/runtime"
cp "$build/src/desktop/postvane" "$work/prog/postvane"
export XDG_RUNTIME_DIR="$work/runtime"
export LANG=en_US.UTF-8
unset LC_ALL LANGUAGE

pv_start_display 800x600
pv_start_dovecot
pv_start_silent_server
closed_port=$(pv_free_port)

# mailbox INDEX NAME USER PORT
mailbox() {
  printf '[MailBox%s]\r\nName=%s\r\nUser=%s\r\nPassword=%s\r\nRemoteHost=127.0.0.1\r\nRemotePort=%s\r\nEnabled=1\r\nLastMail=0\r\n' \
    "$1" "$2" "$3" "$(pv_stored_password secret)" "$4"
}
general() {
  printf '[General]\r\nInterval=5\r\nNotifyType=2\r\nTrayType=1\r\nDoubleClick=1\r\nMailProgram=\r\nSoundFile=\r\nMDaemonPath=\r\nMDaemonActivate=0\r\nReplaySound=0\r\n'
}

postvane_pid=""
start_postvane() {
  pv_spawn "$work/prog/postvane"
  postvane_pid=$PV_LAST_PID
  sleep "${1:-3}"
}
stop_postvane() {
  kill -TERM -- "-$postvane_pid" 2>/dev/null || true
  sleep 0.5
}

# Rests the pointer on a tray icon until its tool tip shows, then pictures the corner. The
# tray host puts the icon shown last first, 24 pixels apart. With "count", waits for the blink
# phase in which that icon shows its count of new mail (a yellow disc) rather than its marker.
tray_picture() {
  x=${2:-12}
  xdotool mousemove 200 300
  sleep 0.3
  xdotool mousemove "$x" 16
  sleep 1.8
  for _ in $(seq 1 12); do
    import -window root -crop 420x64+0+0 +repage "$work/tray.png"
    icon="-crop 12x12+$((x - 6))+10 -resize 1x1"
    # shellcheck disable=SC2086
    shown=$(convert "$work/tray.png" $icon -format '%[fx:r+g+b > 0.3 ? 1 : 0]' info:)
    # shellcheck disable=SC2086
    yellow=$(convert "$work/tray.png" $icon -format '%[fx:min(r,g)-b > 0.1 ? 1 : 0]' info:)
    if [ "$shown" = 1 ] && { [ "${3:-}" != count ] || [ "$yellow" = 1 ]; }; then break; fi
    sleep 0.5
  done
  cp "$work/tray.png" "$out/$1"
}

# Waits for the blink phase in which the icon at x shows its count ("count", a yellow disc) or
# its mailbox marker ("marker"), then saves the first icons of the tray, pixel for pixel.
tray_phase() {
  x=$2
  for _ in $(seq 1 20); do
    import -window root -crop 76x32+0+0 +repage "$work/phase.png"
    # shellcheck disable=SC2086
    yellow=$(convert "$work/phase.png" -crop 12x12+$((x - 6))+10 -resize 1x1 \
      -format '%[fx:min(r,g)-b > 0.1 ? 1 : 0]' info:)
    if { [ "$3" = count ] && [ "$yellow" = 1 ]; } || { [ "$3" = marker ] && [ "$yellow" = 0 ]; }; then
      break
    fi
    sleep 0.4
  done
  cp "$work/phase.png" "$1"
}

# The new-mail icons in both blink frames, side by side and enlarged so the pixels show.
blink_frames() {
  xdotool mousemove 200 300
  tray_phase "$work/count.png" "$2" count
  tray_phase "$work/marker.png" "$2" marker
  convert "$work/count.png" "$work/marker.png" -bordercolor "#808080" -border 1 +append \
    -filter point -resize 300% "$out/$1"
}

window_id() {
  for _ in $(seq 1 50); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1 || true)
    if [ -n "$id" ]; then echo "$id"; return 0; fi
    sleep 0.1
  done
  pv_note "no window named $1"
  return 1
}

# Picks the tray menu entry at the given position (1 = first) with the keyboard.
menu_entry() {
  xdotool mousemove 12 16 click 3
  sleep 0.6
  for _ in $(seq 1 "$1"); do xdotool key Down; sleep 0.05; done
  xdotool key Return
  sleep 0.8
}

echo "== tray, idle"
{ mailbox 0 Work alice "$PV_POP3_PORT"; mailbox 1 Home bob "$PV_POP3_PORT"; general; } >"$work/prog/Postvane.ini"
start_postvane 3
tray_picture tray-idle.png
stop_postvane

echo "== tray, checking"
{ mailbox 0 Lists alice "$PV_SILENT_PORT"; mailbox 1 Home bob "$PV_POP3_PORT"; general; } >"$work/prog/Postvane.ini"
start_postvane 3
tray_picture tray-checking.png
stop_postvane

echo "== tray, new mail"
pv_deliver alice "Ann Example <ann@example.org>" "Minutes of Monday's meeting" 3
pv_deliver alice "Bob Example <bob@example.org>" "Server room is too warm" 1
# Name and subject as today's mail writes them outside ASCII: the window shows them decoded.
pv_deliver alice "=?UTF-8?Q?Jos=C3=A9_Mu=C3=B1oz?= <jose@example.org>" \
  "=?UTF-8?B?R3LDvMOfZSBhdXMgS8O2bG4g4oCTIENhZsOpIHVtIDE1IFVocg==?="
pv_deliver bob "Carol Example <carol@example.org>" "Lunch on Friday?"
{ mailbox 0 Work alice "$PV_POP3_PORT"; mailbox 1 Home bob "$PV_POP3_PORT"
  mailbox 2 Lists carol "$closed_port"; general; } >"$work/prog/Postvane.ini"
start_postvane 4
tray_picture tray-new-mail.png 60 count
blink_frames tray-blink-dark.png 60

echo "== status window"
status=$(window_id Status)
eval "$(xdotool getwindowgeometry --shell "$status")"
# Open every node of the first mailbox: select it, then "*".
xdotool mousemove $((X + 60)) $((Y + 16)) click 1
sleep 0.2
xdotool key asterisk
sleep 0.5
import -window "$status" "$out/status.png"
xdotool key --window "$status" Escape

echo "== configuration dialog"
menu_entry 4
config=$(window_id Configuration)
import -window "$config" "$out/config-mailboxes.png"
eval "$(xdotool getwindowgeometry --shell "$config")"
for tab in 2 3; do
  # The tabs sit at the top left of the dialog, about 75 pixels apart.
  xdotool mousemove $((X + 7 + 75 * (tab - 1) + 30)) $((Y + 18)) click 1
  sleep 0.5
  name=config-general$((tab - 1)).png
  import -window "$config" "$out/$name"
done
# The Mailboxes tab again, with IMAP chosen as a user sets up an IMAP mailbox (not saved: the
# program is stopped with the dialog open). Lists open on a click; Down and Return pick.
xdotool mousemove $((X + 37)) $((Y + 18)) click 1
sleep 0.5
pick_next() {
  xdotool mousemove "$1" "$2" click 1
  sleep 0.5
  xdotool key Down Return
  sleep 0.3
}
pick_next $((X + 14 + 105 + 36)) $((Y + 28 + 45 + 10))  # Protocol: IMAP
pick_next $((X + 14 + 182 + 56)) $((Y + 28 + 217 + 10)) # Security: SSL/TLS
for field in "161 imap.example.org" "189 993"; do
  set -- $field
  xdotool mousemove $((X + 14 + 182 + 18)) $((Y + 28 + $1 + 9)) click 1 key ctrl+a
  xdotool type --delay 20 "$2"
done
xdotool mousemove $((X + 14 + 182 + 40)) $((Y + 28 + 280 + 9)) click 1
xdotool type --delay 20 "INBOX"
xdotool mousemove 200 300
sleep 0.5
import -window "$config" "$out/config-imap.png"
# The same mailbox signing in with OAuth 2.0 at Google: the sign-in row at the foot of the tab.
pick_next $((X + 14 + 80 + 50)) $((Y + 28 + 344 + 10)) # Sign-in: OAuth 2.0
for field in "370 google" "394 1234-abc.apps.googleusercontent.com"; do
  set -- $field
  xdotool mousemove $((X + 14 + 80 + 40)) $((Y + 28 + $1 + 9)) click 1 key ctrl+a
  xdotool type --delay 20 "$2"
done
xdotool mousemove 200 300
sleep 0.5
import -window "$config" "$out/config-oauth.png"

echo "== about window"
menu_entry 5
about=$(window_id "About ...")
import -window "$about" "$out/about.png"
xdotool key --window "$about" Escape

echo "== tray, new mail, light panel"
kill -TERM -- "-$PV_TRAY_PID" 2>/dev/null || true
sleep 0.5
pv_start_tray 0xf0f0f0
sleep 2
tray_picture tray-new-mail-light.png 60 count
blink_frames tray-blink-light.png 60
stop_postvane

echo "== first start"
# No settings file: the dialog opens by itself and the tool tip says what to do.
rm -f "$work/prog/Postvane.ini"
start_postvane 3
config=$(window_id Configuration)
xdotool mousemove 12 16
sleep 2
import -window root "$out/first-start.png"

# What a new user types: the first mailbox, enabled, then Enter.
eval "$(xdotool getwindowgeometry --shell "$config")"
xdotool mousemove $((X + 14 + 182 + 40)) $((Y + 28 + 77 + 9)) click 1
sleep 0.2
xdotool type --delay 20 "Work"
for text in alice secret 127.0.0.1 "$PV_POP3_PORT"; do
  xdotool key Tab
  xdotool key ctrl+a
  xdotool type --delay 20 "$text"
done
xdotool key Tab space
# A new mailbox starts on SSL/TLS; the test server speaks plain POP3, so the user picks "None"
# and the dialog says that the password then goes unencrypted.
xdotool key Tab Up
sleep 0.2
import -window "$config" "$out/first-start-filled.png"
xdotool key Return
# The check runs at once: the new mail shows within seconds, not at the next interval.
xdotool mousemove 200 300
sleep 4
xdotool mousemove 12 16
sleep 2
import -window root -crop 420x64+0+0 +repage "$out/first-check.png"
stop_postvane

echo "Pictures saved in docs/screenshots/."
