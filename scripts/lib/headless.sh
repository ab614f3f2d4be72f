# Shared by the scripts that run Postvane without a desktop: a virtual X display with a tray
# host, a private Dovecot, and clean-up of everything they started. Source it from bash.

PV_PIDS=""

pv_note() { printf '%s\n' "$*" >&2; }

# Starts a command in a session of its own and remembers it for clean-up.
pv_spawn() {
  setsid "$@" &
  PV_PIDS="$! $PV_PIDS"
  PV_LAST_PID=$!
}

pv_cleanup() {
  for pid in $PV_PIDS; do
    kill -TERM -- "-$pid" 2>/dev/null || kill -TERM "$pid" 2>/dev/null || true
  done
  for pid in $PV_PIDS; do
    for _ in 1 2 3 4 5 6 7 8 9 10; do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.2
    done
    kill -KILL -- "-$pid" 2>/dev/null || kill -KILL "$pid" 2>/dev/null || true
  done
  PV_PIDS=""
  if [ -n "${PV_DOVECOT_DIR:-}" ]; then rm -rf "$PV_DOVECOT_DIR"; PV_DOVECOT_DIR=""; fi
}

# A free TCP port on the loopback address.
pv_free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

pv_wait_for_port() {
  for _ in $(seq 1 200); do
    if python3 -c 'import socket, sys; socket.create_connection(("127.0.0.1", int(sys.argv[1])), 1).close()' "$1" 2>/dev/null; then
      return 0
    fi
    sleep 0.05
  done
  return 1
}

# Xvfb on a free display, then trayer as the notification area. Sets DISPLAY. The display
# number is drawn at random so that parallel runs do not race for the same one.
pv_start_display() {
  size=${1:-800x600}
  for _ in 1 2 3 4 5 6 7 8; do
    n=$((100 + RANDOM % 800))
    if [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; then continue; fi
    pv_spawn Xvfb ":$n" -screen 0 "${size}x24" -nolisten tcp
    xvfb=$PV_LAST_PID
    export DISPLAY=":$n"
    for _ in $(seq 1 400); do
      kill -0 "$xvfb" 2>/dev/null || break
      xdotool getdisplaygeometry >/dev/null 2>&1 && break
      sleep 0.05
    done
    if kill -0 "$xvfb" 2>/dev/null && xdotool getdisplaygeometry >/dev/null 2>&1; then break; fi
    unset DISPLAY
  done
  if [ -z "${DISPLAY:-}" ]; then pv_note "Xvfb did not start"; return 1; fi
  pv_start_tray
}

# The notification area; started again by callers that find it gone. Optional argument: the
# panel's colour (default a dark grey, 0x303030).
pv_start_tray() {
  pv_spawn trayer --edge top --align left --widthtype request --height 32 \
    --transparent true --alpha 0 --tint "${1:-0x303030}"
  PV_TRAY_PID=$PV_LAST_PID
  for _ in $(seq 1 400); do
    xdotool search --classname trayer >/dev/null 2>&1 && break
    sleep 0.05
  done
  sleep 0.3
}

pv_tray_running() { kill -0 "$PV_TRAY_PID" 2>/dev/null; }

# A private Dovecot in a folder of its own with the users alice and bob (password "secret").
# Sets PV_POP3_PORT and PV_DOVECOT_DIR. The folder must be open to Dovecot's own users, so
# it is not made inside a private temporary folder.
pv_start_dovecot() {
  PV_DOVECOT_DIR=$(mktemp -d /tmp/postvane-dovecot.XXXXXX)
  t=$PV_DOVECOT_DIR
  chmod 755 "$t"
  mkdir -p "$t/state" "$t/mail"
  PV_POP3_PORT=$(pv_free_port)
  chroot_line=""
  user_lines=""
  if [ "$(id -u)" -ne 0 ]; then
    user_lines="default_internal_user = $(id -un)
default_login_user = $(id -un)
default_internal_group = $(id -gn)"
    chroot_line="  chroot ="
    mail_uid=$(id -u)
    mail_gid=$(id -g)
  else
    mail_uid=65534
    mail_gid=65534
  fi
  cat >"$t/dovecot.conf" <<CONF
base_dir = $t/run
state_dir = $t/state
log_path = $t/dovecot.log
protocols = pop3
listen = 127.0.0.1
ssl = no
disable_plaintext_auth = no
auth_mechanisms = plain login
auth_failure_delay = 0
mail_location = maildir:$t/mail/%u
$user_lines
passdb {
  driver = passwd-file
  args = scheme=PLAIN username_format=%u $t/users
}
userdb {
  driver = passwd-file
  args = username_format=%u $t/users
}
service pop3-login {
$chroot_line
  inet_listener pop3 {
    address = 127.0.0.1
    port = $PV_POP3_PORT
  }
  inet_listener pop3s {
    port = 0
  }
}
service anvil {
$chroot_line
  unix_listener anvil-auth-penalty {
    mode = 0
  }
}
CONF
  : >"$t/users"
  for user in alice bob; do
    echo "$user:{PLAIN}secret:$mail_uid:$mail_gid::$t/mail/$user::" >>"$t/users"
    mkdir -p "$t/mail/$user/tmp" "$t/mail/$user/new" "$t/mail/$user/cur"
  done
  if [ "$(id -u)" -eq 0 ]; then chown -R "$mail_uid:$mail_gid" "$t/mail"; fi
  pv_spawn dovecot -F -c "$t/dovecot.conf"
  pv_wait_for_port "$PV_POP3_PORT" || { pv_note "Dovecot did not start:"; cat "$t/dovecot.log" >&2; return 1; }
}

# pv_deliver USER FROM SUBJECT [PRIORITY]: a message as a delivery agent leaves it.
pv_deliver() {
  t=$PV_DOVECOT_DIR; user=$1; from=$2; subject=$3; priority=${4:-}
  # Dovecot numbers new messages in file-name order: make that the delivery order.
  PV_DELIVERED=$((${PV_DELIVERED:-0} + 1))
  name="$(date +%s).$(printf '%06d' "$PV_DELIVERED").postvane"
  box="$t/mail/$user"
  {
    printf 'From: %s\r\nTo: %s@example.org\r\nSubject: %s\r\n' "$from" "$user" "$subject"
    printf 'Date: %s\r\n' "$(LC_ALL=C date -R)"
    if [ -n "$priority" ]; then printf 'X-Priority: %s\r\n' "$priority"; fi
    printf '\r\nHello from the screenshot script.\r\n'
  } >"$box/tmp/$name"
  if [ "$(id -u)" -eq 0 ]; then chown 65534:65534 "$box/tmp/$name"; fi
  mv "$box/tmp/$name" "$box/new/$name"
}

# A server that takes connections and never says a word: a check stays under way.
pv_start_silent_server() {
  PV_SILENT_PORT=$(pv_free_port)
  pv_spawn python3 -c '
import socket, sys
s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", int(sys.argv[1])))
s.listen(8)
held = []
while True:
    held.append(s.accept()[0])
' "$PV_SILENT_PORT"
  pv_wait_for_port "$PV_SILENT_PORT"
}

# The password as the settings file keeps it: bytes reversed, each code c stored as 256 - c.
pv_stored_password() {
  python3 -c '
import sys
b = sys.argv[1].encode()
sys.stdout.buffer.write(bytes((256 - c) & 0xFF for c in reversed(b)))
' "$1"
}
