#!/bin/bash
# Side-by-side bench: Postvane against a plain blocking client (bench/pop3_floor.c, the floor)
# and fetchmail -c, interleaved in one run on one private Dovecot with ten 200-message
# mailboxes and one of 32,000, in plain, TLS and STARTTLS mode (a Python ssl client and
# fetchmail --ssl as the TLS peers, with and without SSL_CERT_DIR); the tray program's CPU per cycle, idle and blinking on a virtual
# display with a tray host; and, where network namespaces can be made, a 20 ms round trip
# between two of them joined by a user-space delay link. Prints medians, ranges and the ratios
# against the goals.
# Usage: bench/compare.sh [build folder] [rounds]   (defaults: build-bench, 7)
set -eu
cd "$(dirname "$0")/.."
build=${1:-build-bench}
rounds=${2:-7}

scripts/install-deps.sh test
scripts/install-deps.sh bench
if [ ! -x "$build/src/desktop/postvane" ] || [ ! -x "$build/src/desktop/postvane-check" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPOSTVANE_BUILD_TESTS=OFF >/dev/null
fi
# Always brought up to date: a stale build would measure yesterday's code.
cmake --build "$build" --target postvane postvane-check -j 2 >/dev/null

. scripts/lib/headless.sh
work=$(mktemp -d /tmp/postvane-compare.XXXXXX)
namespaces=""
cleanup() {
  pv_cleanup
  for ns in $namespaces; do ip netns del "$ns" 2>/dev/null || true; done
  if [ -n "${mail:-}" ]; then rm -rf "$mail"; fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
mkdir -p "$work/runtime"
chmod 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime"
cc -O2 -Wall -Wextra -o "$work/pop3_floor" bench/pop3_floor.c
# shellcheck disable=SC2046
c++ -O2 -fPIC -o "$work/minimal_tray" bench/minimal_tray.cpp $(pkg-config --cflags --libs Qt6Widgets)

# Dovecot's own users must reach the mail and its configuration: a folder open to them.
mail=$(mktemp -d /tmp/postvane-compare-mail.XXXXXX)
chmod 755 "$mail"
boxes=""
for i in 0 1 2 3 4 5 6 7 8 9; do boxes="$boxes box$i:200"; done
python3 bench/make_mailboxes.py "$mail/mail" $boxes big:32000 empty:0
if [ "$(id -u)" -eq 0 ]; then
  mail_uid=65534; mail_gid=65534
  chown -R "$mail_uid:$mail_gid" "$mail/mail"
else
  mail_uid=$(id -u); mail_gid=$(id -g)
fi
: >"$mail/users"
for user in box0 box1 box2 box3 box4 box5 box6 box7 box8 box9 big empty; do
  echo "$user:{PLAIN}secret:$mail_uid:$mail_gid::$mail/mail/$user::" >>"$mail/users"
done

# A test authority and a server certificate for 127.0.0.1 and the far namespace's address:
# the TLS runs trust the authority through SSL_CERT_FILE, as a site's own authority would be.
tls="$mail/tls"
mkdir -p "$tls"
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 30 \
  -keyout "$tls/ca.key" -out "$tls/ca.pem" -subj "/CN=Postvane bench authority" \
  -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null
openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj "/CN=127.0.0.1" \
  -keyout "$tls/server.key" -out "$tls/server.csr" 2>/dev/null
printf 'subjectAltName=IP:127.0.0.1,IP:198.18.0.2,DNS:localhost\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' \
  >"$tls/server.ext"
openssl x509 -req -in "$tls/server.csr" -CA "$tls/ca.pem" -CAkey "$tls/ca.key" -CAcreateserial \
  -days 30 -extfile "$tls/server.ext" -out "$tls/server.pem" 2>/dev/null
chmod 755 "$tls"
chmod 644 "$tls"/*.pem
chmod 600 "$tls"/*.key

# write_dovecot NAME ADDRESS PORT TLSPORT: a private instance's configuration in $mail/NAME.
write_dovecot() {
  d="$mail/$1"
  mkdir -p "$d/state"
  user_lines=""
  chroot_line=""
  if [ "$(id -u)" -ne 0 ]; then
    user_lines="default_internal_user = $(id -un)
default_login_user = $(id -un)
default_internal_group = $(id -gn)"
    chroot_line="  chroot ="
  fi
  cat >"$d/dovecot.conf" <<CONF
base_dir = $d/run
state_dir = $d/state
log_path = $d/dovecot.log
protocols = pop3
listen = $2
ssl = yes
ssl_cert = <$tls/server.pem
ssl_key = <$tls/server.key
disable_plaintext_auth = no
auth_mechanisms = plain login
auth_failure_delay = 0
mail_location = maildir:$mail/mail/%u:INDEX=$d/index/%u
$user_lines
passdb {
  driver = passwd-file
  args = scheme=PLAIN username_format=%u $mail/users
}
userdb {
  driver = passwd-file
  args = username_format=%u $mail/users
}
service pop3-login {
$chroot_line
  inet_listener pop3 {
    address = $2
    port = $3
  }
  inet_listener pop3s {
    address = $2
    port = $4
  }
}
service anvil {
$chroot_line
  unix_listener anvil-auth-penalty {
    mode = 0
  }
}
CONF
  mkdir -p "$d/index"
  if [ "$(id -u)" -eq 0 ]; then chown "$mail_uid:$mail_gid" "$d/index"; fi
}

PV_POP3_PORT=$(pv_free_port)
PV_POP3S_PORT=$(pv_free_port)
while [ "$PV_POP3S_PORT" = "$PV_POP3_PORT" ]; do PV_POP3S_PORT=$(pv_free_port); done
write_dovecot local 127.0.0.1 "$PV_POP3_PORT" "$PV_POP3S_PORT"
pv_spawn dovecot -F -c "$mail/local/dovecot.conf"
pv_wait_for_port "$PV_POP3_PORT" || { pv_note "Dovecot did not start"; cat "$mail/local/dovecot.log" >&2; exit 1; }

pv_start_display 640x240

# Two namespaces joined by a 10 ms each-way link: the client in one, Dovecot in the other.
# Only the addresses made here are used (198.18.0.0/30, inside the namespaces).
rtt_ns=""
if ip netns add "pvc$$" 2>/dev/null; then
  namespaces="pvc$$"
  if ip netns add "pvs$$" 2>/dev/null; then
    namespaces="$namespaces pvs$$"
    exec 3< <(python3 -u bench/delay_link.py "pvc$$" 198.18.0.1 "pvs$$" 198.18.0.2 10 2>&1)
    link_pid=$!
    PV_PIDS="$link_pid $PV_PIDS"
    if read -r -t 20 line <&3 && [ "$line" = ready ]; then
      write_dovecot remote 198.18.0.2 110 995
      pv_spawn ip netns exec "pvs$$" dovecot -F -c "$mail/remote/dovecot.conf"
      for _ in $(seq 1 200); do
        if ip netns exec "pvc$$" python3 -c 'import socket; socket.create_connection(("198.18.0.2", 110), 1).close()' 2>/dev/null; then
          rtt_ns="pvc$$"; break
        fi
        sleep 0.05
      done
    else
      pv_note "the delay link did not come up: ${line:-nothing}"
    fi
  fi
fi
[ -n "$rtt_ns" ] || pv_note "no network namespaces: the 20 ms round-trip part is skipped"

PV_WORK="$work" PV_POP3_PORT="$PV_POP3_PORT" PV_POP3S_PORT="$PV_POP3S_PORT" PV_ROUNDS="$rounds" \
PV_AUTHORITY="$tls/ca.pem" \
PV_CHECK="$build/src/desktop/postvane-check" PV_TRAY="$build/src/desktop/postvane" \
PV_FLOOR="$work/pop3_floor" PV_MINIMAL_TRAY="$work/minimal_tray" PV_DOVECOT_LOG="$mail/local/dovecot.log" \
PV_RTT_NS="$rtt_ns" PV_RTT_HOST=198.18.0.2 \
  python3 bench/compare_runs.py
