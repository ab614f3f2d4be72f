#!/bin/bash
# The header fetch over a slow link: 2,000 new messages at a 20 ms round trip, in TLS and
# STARTTLS mode (where the server's CAPA, read over TLS, allows pipelined TOP commands).
# Dovecot runs in one network namespace and postvane-check in another, joined by the
# user-space delay link of bench/delay_link.py (10 ms each way). Needs root for the namespaces.
# Usage: bench/pipeline_rtt.sh [build folder] [runs]   (defaults: build-bench, 5)
set -eu
cd "$(dirname "$0")/.."
build=${1:-build-bench}
runs=${2:-5}
check="$build/src/desktop/postvane-check"
if [ ! -x "$check" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPOSTVANE_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target postvane-check -j 2 >/dev/null

. scripts/lib/headless.sh
work=$(mktemp -d /tmp/postvane-rtt.XXXXXX)
client="pvrc$$"
server="pvrs$$"
cleanup() {
  pv_cleanup
  ip netns del "$client" 2>/dev/null || true
  ip netns del "$server" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
chmod 755 "$work"
host=198.18.0.2
password=secret

# 2,001 messages, of which all but the first are new.
python3 bench/make_mailboxes.py "$work/mail" big:2001
openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=$host" \
  -addext "subjectAltName=IP:$host" -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
if [ "$(id -u)" -eq 0 ]; then
  uid=65534; gid=65534
  chown -R "$uid:$gid" "$work/mail"
  chmod 644 "$work/key.pem"
else
  uid=$(id -u); gid=$(id -g)
fi
echo "big:{PLAIN}$password:$uid:$gid::$work/mail/big::" >"$work/users"
mkdir -p "$work/dovecot/state" "$work/dovecot/index"
[ "$(id -u)" -ne 0 ] || chown "$uid:$gid" "$work/dovecot/index"
cat >"$work/dovecot/dovecot.conf" <<CONF
base_dir = $work/dovecot/run
state_dir = $work/dovecot/state
log_path = $work/dovecot/dovecot.log
protocols = pop3
listen = $host
ssl = yes
ssl_cert = <$work/cert.pem
ssl_key = <$work/key.pem
ssl_dh = </usr/share/dovecot/dh.pem
disable_plaintext_auth = no
auth_mechanisms = plain login
auth_failure_delay = 0
mail_location = maildir:$work/mail/%u:INDEX=$work/dovecot/index/%u
passdb {
  driver = passwd-file
  args = scheme=PLAIN username_format=%u $work/users
}
userdb {
  driver = passwd-file
  args = username_format=%u $work/users
}
service pop3-login {
  inet_listener pop3 {
    address = $host
    port = 110
  }
  inet_listener pop3s {
    address = $host
    port = 995
    ssl = yes
  }
}
service anvil {
  unix_listener anvil-auth-penalty {
    mode = 0
  }
}
CONF

ip netns add "$client"
ip netns add "$server"
exec 3< <(python3 -u bench/delay_link.py "$client" 198.18.0.1 "$server" "$host" 10 2>&1)
PV_PIDS="$! $PV_PIDS"
read -r -t 20 line <&3 && [ "$line" = ready ] || { pv_note "the delay link did not come up"; exit 1; }
pv_spawn ip netns exec "$server" dovecot -F -c "$work/dovecot/dovecot.conf"
in_client() { ip netns exec "$client" "$@"; }
for _ in $(seq 1 200); do
  in_client python3 -c "import socket; socket.create_connection(('$host', 110), 1).close()" \
    2>/dev/null && break
  sleep 0.05
done
first=$(in_client python3 -c "
import poplib
p = poplib.POP3('$host', 110, timeout=60)
p.user('big'); p.pass_('$password')
print(p.uidl(1).decode().split()[2]); p.quit()")

# write_ini FILE PORT SECURITY: one mailbox whose first message is the one acknowledged.
write_ini() {
  {
    printf '[MailBox0]\r\nName=Big\r\nUser=big\r\nPassword='
    pv_stored_password "$password"
    printf '\r\nRemoteHost=%s\r\nRemotePort=%s\r\nSecurity=%s\r\nEnabled=1\r\nLastMail=0\r\nUIDL=%s\r\n' \
      "$host" "$2" "$3" "$first"
    printf '[General]\r\nInterval=30\r\nNotifyType=0\r\nTrayType=0\r\nReplaySound=0\r\n'
  } >"$1"
}
write_ini "$work/tls.ini" 995 1
write_ini "$work/starttls.ini" 110 2

# wall MODE: one run's wall time in seconds; fails unless the check found 2,000 new messages.
wall() {
  local start end out
  start=$(date +%s.%N)
  out=$(in_client env SSL_CERT_FILE="$work/cert.pem" "$check" --settings "$work/$1.ini" \
    --timeout 300 2>&1) || true
  end=$(date +%s.%N)
  case "$out" in *2000*) ;; *) pv_note "$1: unexpected output: $out"; return 1 ;; esac
  echo "$end - $start" | bc
}
# The floor: Python's ssl module sending all 2,000 TOP commands at once over TLS.
floor() {
  in_client env SSL_CERT_FILE="$work/cert.pem" python3 -c "
import socket, ssl, sys, time
start = time.perf_counter()
context = ssl.create_default_context(cafile='$work/cert.pem')
s = context.wrap_socket(socket.create_connection(('$host', 995)), server_hostname='$host')
f = s.makefile('rb')
def line(): return f.readline()
def block():
    while f.readline() not in (b'.\\r\\n',): pass
line()
for c in (b'USER big', b'PASS $password', b'STAT'):
    s.sendall(c + b'\\r\\n'); line()
s.sendall(b'UIDL\\r\\n'); line(); block()
s.sendall(b''.join(b'TOP %d 0\\r\\n' % n for n in range(2, 2002)))
for n in range(2, 2002): line(); block()
s.sendall(b'QUIT\\r\\n'); line()
print('%.3f' % (time.perf_counter() - start))"
}
times=""
for _ in $(seq 1 "$runs"); do times="$times $(floor)"; done
median=$(printf '%s\n' $times | sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}')
echo "2,000 new messages at 20 ms RTT, Python ssl, all TOPs at once: median $median s (runs:$times)"

for mode in tls starttls; do
  times=""
  for _ in $(seq 1 "$runs"); do times="$times $(wall "$mode")"; done
  median=$(printf '%s\n' $times | sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}')
  echo "2,000 new messages at 20 ms RTT, $mode: median $median s (runs:$times)"
done
