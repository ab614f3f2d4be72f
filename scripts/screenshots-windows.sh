#!/bin/sh
# Takes the README's pictures of the Windows programs: postvane.exe under Wine on a virtual
# display, against a small scripted POP3 server on 127.0.0.1, with its tray icons and the
# configuration dialog (docs/screenshots/windows-tray-config.png), the status window
# (docs/screenshots/windows-status.png) and the dialog on an IMAP mailbox
# (docs/screenshots/windows-config-imap.png). Needs a Windows build in build-windows/ and the
# packages of `scripts/install-deps.sh test`. Everything it starts goes again at the end.
set -eu
cd "$(dirname "$0")/.."
root=$PWD
work=$(mktemp -d "${TMPDIR:-/tmp}/postvane-shots.XXXXXX")
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
pids=""
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  for pid in $pids; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

cat >"$work/server.py" <<'PY'
import socket, sys, threading
listener = socket.socket()
listener.bind(("127.0.0.1", 0))
listener.listen(8)
with open(sys.argv[1] + ".tmp", "w") as f:
    f.write(str(listener.getsockname()[1]))
import os; os.rename(sys.argv[1] + ".tmp", sys.argv[1])
HEADERS = {2: (b"Bob <bob@example.org>", b"Budget for 2027", b"1"),
           3: (b"Carol <carol@example.org>", b"Lunch on Friday?", b"3")}
def serve(c):
    c.sendall(b"+OK ready\r\n")
    for raw in c.makefile("rb"):
        line = raw.strip().decode()
        if line.startswith(("USER", "PASS")): c.sendall(b"+OK\r\n")
        elif line == "STAT": c.sendall(b"+OK 3 3000\r\n")
        elif line == "UIDL": c.sendall(b"+OK\r\n1 u1\r\n2 u2\r\n3 u3\r\n.\r\n")
        elif line.startswith("TOP"):
            frm, subject, prio = HEADERS[int(line.split()[1])]
            c.sendall(b"+OK\r\nFrom: " + frm + b"\r\nTo: alice@example.org\r\nSubject: " + subject +
                      b"\r\nX-Priority: " + prio + b"\r\nDate: Mon, 7 Dec 2026 09:00:00 +0100\r\n\r\n.\r\n")
        elif line == "QUIT": c.sendall(b"+OK bye\r\n"); break
        else: c.sendall(b"-ERR unknown\r\n")
    c.close()
while True:
    conn, _ = listener.accept()
    threading.Thread(target=serve, args=(conn,), daemon=True).start()
PY
python3 "$work/server.py" "$work/port" &
pids="$pids $!"
while [ ! -s "$work/port" ]; do sleep 0.1; done
port=$(cat "$work/port")

mkdir -p "$work/app"
cp build-windows/postvane.exe "$work/app/"
# Password "secret", stored as the settings file keeps it.
password=$(printf 'secret' | python3 -c 'import sys; b=sys.stdin.buffer.read()[::-1]; sys.stdout.buffer.write(bytes((256-c)%256 for c in b))')
{
  printf '[General]\r\nInterval=5\r\nReceiveLog=1\r\nAdvancedTrayIcon=1\r\n'
  for box in 0 1; do
    printf '[MailBox%s]\r\nName=Mailbox %s\r\nUser=alice\r\nPassword=%s\r\n' "$box" "$box" "$password"
    printf 'RemoteHost=127.0.0.1\r\nRemotePort=%s\r\nEnabled=1\r\nUIDL=u1\r\n' "$port"
  done
  # Shown in the dialog only: an IMAP mailbox that is not checked here.
  printf '[MailBox2]\r\nName=Work\r\nUser=alice@example.org\r\nPassword=%s\r\n' "$password"
  printf 'RemoteHost=imap.example.org\r\nRemotePort=993\r\nSecurity=1\r\nProtocol=1\r\n'
  printf 'Folder=INBOX\r\nWebMailUrl=https://mail.example.org/\r\nEnabled=0\r\n'
} >"$work/app/Postvane.ini"

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp >/dev/null 2>&1 &
pids="$pids $!"
exec 3>&-
while [ ! -s "$work/display" ]; do sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"
mkdir -p "$WINEPREFIX"
wineserver -p
/usr/lib/wine/wine64 wineboot --init >"$work/wineboot.log" 2>&1
/usr/lib/wine/wine64 "$work/app/postvane.exe" >"$work/out.txt" 2>&1 &
pids="$pids $!"

# The first cycle has ended when both dialogues reached QUIT.
tries=0
until [ "$(grep -c '"QUIT"' "$work/app/receive.log" 2>/dev/null || echo 0)" -ge 2 ]; do
  tries=$((tries + 1))
  [ "$tries" -lt 600 ] || { echo "the first cycle did not end" >&2; exit 1; }
  sleep 0.1
done
tray=$(xdotool search --sync --name "Wine System Tray" | head -n 1)

# Tray menu, then an entry of it by keyboard: Show Status (3), Configuration (4).
open_entry() {
  xdotool mousemove --window "$tray" 8 10 click 3 sleep 1
  i=0
  while [ "$i" -lt "$1" ]; do xdotool key Down; i=$((i + 1)); done
  xdotool key Return
}
mkdir -p docs/screenshots
open_entry 3
xdotool search --sync --name '^Status$' >/dev/null
status=$(xdotool search --name '^Status$' | head -n 1)
xdotool mousemove --window "$status" 30 20 click 1 key Right Down Right Down Right mousemove 630 390 \
  sleep 1
import -window root "$root/docs/screenshots/windows-status.png"
xdotool key --window "$status" alt+F4 sleep 1
open_entry 4
xdotool search --sync --name 'Configuration' >/dev/null
# The pointer leaves the tray, so that no tool tip covers the dialog.
xdotool mousemove 630 390 sleep 1
import -window root "$root/docs/screenshots/windows-tray-config.png"
# The third mailbox's option button, in the dialog's client area.
dialog=$(xdotool search --name 'Configuration' | head -n 1)
xdotool mousemove --window "$dialog" 40 112 click 1 mousemove 630 470 sleep 1
import -window "$dialog" "$root/docs/screenshots/windows-config-imap.png"
echo "pictures in docs/screenshots/windows-*.png"
