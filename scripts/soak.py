#!/usr/bin/env python3
"""Soak: the tray program, offscreen, checking ten mailboxes cycle after cycle for a long time.

  mailbox 0     a POP3 server that always behaves: its sessions count the cycles begun
  mailbox 1     a private Dovecot that receives a message now and then
  mailboxes 2-7 POP3 servers that misbehave in turn, each cycle another way: refuse the
                connection, accept and stall, drop in the middle of the listing, answer slowly
                byte by byte, send garbage, change the unique-ids, report the maildrop locked,
                or behave
  mailbox 8     a TLS server that presents, in turn, the certificate the mailbox trusts by its
                fingerprint and another one
  mailbox 9     a POP3 server that always behaves: its sessions count the cycles ended

The minute timer (POSTVANE_MINUTE_TIMER_MS) and the reply time-out (POSTVANE_REPLY_TIMEOUT_MS)
are shortened so that cycles follow one another; a tick starts a new cycle even when the last
one still runs (as the program does every minute), so the tick is longer than a slow cycle. Reported: file descriptors, threads and
resident memory of the tray program at cycle 10 and at the end, cycles that did not end (begun
at mailbox 0 without reaching mailbox 9; more than one in twenty is a finding), mailboxes that
stayed stuck
(no contact for many cycles), and whether the settings file is still what it was. With
--with-cli, `postvane-check --ack` runs every few seconds beside the tray against the same
servers: none of its runs may fail for a local-port collision or lose an acknowledgement.

Usage: soak.py --program PATH [--check PATH --with-cli] [--cycles N] [--report FILE]
Exit status 0 when nothing was found, 1 otherwise.
"""
import argparse
import hashlib
import json
import os
import pathlib
import random
import shutil
import socket
import ssl
import subprocess
import sys
import tempfile
import threading
import time

KINDS = ["refuse", "stall", "drop", "slow", "garbage", "new-uids", "locked", "good"]
USER, PASSWORD = "alice", "secret"
# Beyond the ticks the cycles need, for the deadline of the whole run.
SLACK_SECONDS = 20


def transform_password(plain):
    """Reversed, each code c as 256 - c: how the settings file keeps a password."""
    data = plain.encode()[::-1]
    return bytes((256 - b) & 0xFF for b in data).decode("latin-1")


def headers(server, number, uid):
    return (f"From: Sender {number} <s{number}@example.test>\r\nTo: {USER}@example.test\r\n"
            f"Subject: =?UTF-8?Q?Soak_{server}_{uid}_=C3=BC?=\r\n"
            f"Date: Mon, 7 Dec 2026 08:00:0{number % 10} +0000\r\n\r\n")


class Pop3Server:
    """A scripted POP3 server on 127.0.0.1; `kind_of(turn)` says how it behaves in a session."""

    def __init__(self, index, kind_of, contexts=None):
        self.index = index
        self.kind_of = kind_of
        self.contexts = contexts  # TLS: one context per turn, in rotation
        self.turn = 0
        self.sessions = []  # (time, kind)
        self.peer_ports = []
        self.lock = threading.Lock()
        self.stopping = False
        self.listener = None
        self.port = 0
        self.reopen_after = None
        # Set by main: the clock server's count of sessions, and what it does at each one.
        self.cycles = lambda: 0
        self.on_accept = None
        self._listen()
        threading.Thread(target=self._accept_loop, daemon=True).start()

    def _listen(self):
        self.listener = socket.socket()
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind(("127.0.0.1", self.port))
        self.port = self.listener.getsockname()[1]
        self.listener.listen(16)
        self.listener.settimeout(0.1)

    def _accept_loop(self):
        while not self.stopping:
            listener = self.listener
            if listener is None:
                # Refusing: nothing listens on the port until the clock server reopens it.
                time.sleep(0.02)
                continue
            try:
                conn, peer = listener.accept()
            except socket.timeout:
                continue
            except OSError:
                continue
            with self.lock:
                turn = self.turn
                self.turn += 1
                kind = self.kind_of(turn)
                self.sessions.append((time.monotonic(), kind))
                self.peer_ports.append(peer[1])
                following = self.kind_of(self.turn)
            threading.Thread(target=self._session, args=(conn, turn, kind), daemon=True).start()
            if self.on_accept is not None:
                self.on_accept()
            if following == "refuse":
                # The next cycle finds the port closed; the one after finds it open again.
                self.listener.close()
                self.listener = None
                self.reopen_after = self.cycles() + 2
                with self.lock:
                    self.turn += 1
                    self.sessions.append((time.monotonic(), "refuse"))

    def reopen_if_due(self, cycles):
        if self.listener is None and self.reopen_after is not None and cycles >= self.reopen_after:
            self.reopen_after = None
            self._listen()

    def stop(self):
        self.stopping = True
        if self.listener is not None:
            self.listener.close()

    def _session(self, conn, turn, kind):
        conn.settimeout(30)
        try:
            if self.contexts:
                conn = self.contexts[turn % len(self.contexts)].wrap_socket(conn, server_side=True)
            Session(self, conn, turn, kind).run()
        except (OSError, ssl.SSLError, ValueError):
            pass
        finally:
            try:
                conn.close()
            except OSError:
                pass


class Session:
    def __init__(self, server, conn, turn, kind):
        self.server, self.conn, self.turn, self.kind = server, conn, turn, kind
        suffix = f"-t{turn}" if kind == "new-uids" else ""
        self.uids = [f"s{server.index}-{n}{suffix}" for n in (1, 2)]

    def send(self, text):
        data = text.encode("latin-1") if isinstance(text, str) else text
        if self.kind == "slow":
            for i in range(len(data)):
                self.conn.sendall(data[i:i + 1])
                time.sleep(0.001)
        else:
            self.conn.sendall(data)

    def lines(self):
        buffer = b""
        while True:
            while b"\r\n" not in buffer:
                chunk = self.conn.recv(4096)
                if not chunk:
                    return
                buffer += chunk
            line, buffer = buffer.split(b"\r\n", 1)
            yield line.decode("latin-1")

    def run(self):
        if self.kind == "stall":
            while self.conn.recv(4096):
                pass
            return
        if self.kind == "garbage":
            rng = random.Random(self.turn * 31 + self.server.index)
            self.send(bytes(rng.randrange(256) for _ in range(300)) + b"\r\n")
            for _ in self.lines():
                self.send(bytes(rng.randrange(256) for _ in range(rng.randrange(1, 400))))
            return
        self.send("+OK soak ready\r\n")
        for line in self.lines():
            command = line.split(" ")[0].upper()
            if command == "QUIT":
                self.send("+OK bye\r\n")
                return
            if command == "CAPA":
                self.send("+OK\r\nUSER\r\nUIDL\r\nTOP\r\n.\r\n")
            elif command == "USER":
                self.send("+OK\r\n")
            elif command == "PASS":
                if self.kind == "locked":
                    self.send("-ERR [IN-USE] Mailbox is locked by another POP3 session.\r\n")
                    return
                self.send("+OK Logged in.\r\n")
            elif command == "STAT":
                self.send(f"+OK {len(self.uids)} 600\r\n")
            elif command == "UIDL":
                listing = "".join(f"{n} {uid}\r\n" for n, uid in enumerate(self.uids, 1))
                reply = f"+OK\r\n{listing}.\r\n"
                if self.kind == "drop":
                    self.send(reply[: len(reply) // 2])
                    return
                self.send(reply)
            elif command == "TOP" and len(line.split()) >= 2 and line.split()[1].isdigit():
                number = int(line.split()[1])
                if 1 <= number <= len(self.uids):
                    self.send("+OK\r\n" + headers(self.server.index, number, self.uids[number - 1]) + ".\r\n")
                else:
                    self.send("-ERR no such message\r\n")
            else:
                self.send("-ERR unknown command\r\n")


class Dovecot:
    def __init__(self, folder):
        self.folder = folder
        self.maildir = folder / "mail" / USER / "Maildir"
        self.delivered = 0
        folder.mkdir(parents=True, exist_ok=True)
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            self.port = probe.getsockname()[1]
        users = folder / "users"
        users.write_text(f"{USER}:{{PLAIN}}{PASSWORD}:65534:65534::{folder}/mail/{USER}::\n")
        for sub in ("cur", "new", "tmp"):
            (self.maildir / sub).mkdir(parents=True, exist_ok=True)
        self.deliver()
        subprocess.run(["chown", "-R", "65534:65534", str(folder / "mail")], check=False)
        config = folder / "dovecot.conf"
        config.write_text("\n".join([
            f"base_dir = {folder}/run", f"state_dir = {folder}/state",
            f"log_path = {folder}/dovecot.log", "protocols = pop3", "listen = 127.0.0.1",
            "ssl = no", "disable_plaintext_auth = no", "auth_mechanisms = plain login",
            "auth_failure_delay = 0", f"mail_location = maildir:{folder}/mail/%u/Maildir",
            "passdb {", "  driver = passwd-file", f"  args = scheme=PLAIN username_format=%u {users}",
            "}", "userdb {", "  driver = passwd-file", f"  args = username_format=%u {users}", "}",
            "service pop3-login {", "  inet_listener pop3 {", "    address = 127.0.0.1",
            f"    port = {self.port}", "  }", "}",
            "service anvil {", "  unix_listener anvil-auth-penalty {", "    mode = 0", "  }", "}", ""]))
        shutil.rmtree(folder / "run", ignore_errors=True)
        self.process = subprocess.Popen(["dovecot", "-F", "-c", str(config)])
        for _ in range(200):
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=0.2).close()
                return
            except OSError:
                time.sleep(0.05)
        self.stop()
        raise SystemExit("dovecot did not start")

    def deliver(self):
        self.delivered += 1
        name = f"{int(time.time())}.soak{self.delivered}.test"
        tmp = self.maildir / "tmp" / name
        tmp.write_bytes((f"From: Dovecot Sender <d@example.test>\r\nTo: {USER}@example.test\r\n"
                         f"Subject: Soak message {self.delivered}\r\nDate: Mon, 7 Dec 2026 09:00:00 +0000"
                         f"\r\n\r\nBody {self.delivered}.\r\n").encode())
        if os.geteuid() == 0:
            os.chown(tmp, 65534, 65534)
        tmp.rename(self.maildir / "new" / name)

    def logins(self):
        log = self.folder / "dovecot.log"
        return log.read_text(errors="replace").count("Login: user=<") if log.exists() else 0

    def stop(self):
        self.process.terminate()
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()


def make_certificate(folder, name):
    key, cert = folder / f"{name}-key.pem", folder / f"{name}-cert.pem"
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", f"/CN=localhost/O=Soak {name}", "-addext",
                    "subjectAltName=DNS:localhost,IP:127.0.0.1", "-keyout", str(key), "-out", str(cert)],
                   check=True, capture_output=True)
    der = ssl.PEM_cert_to_DER_cert(cert.read_text())
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    return context, hashlib.sha256(der).hexdigest().upper()


def settings_text(ports, trusted):
    lines = []
    for index, port in enumerate(ports):
        lines += [f"[MailBox{index}]", f"Name=Soak {index}", f"User={USER}",
                  f"Password={transform_password(PASSWORD)}", "RemoteHost=127.0.0.1",
                  f"RemotePort={port}", "Enabled=1", "LastMail=0"]
        if index == 8:
            lines += ["Security=1", f"CertFingerprint={trusted}"]
    lines += ["[General]", "Interval=0", "NotifyType=0", "TrayType=0", "DoubleClick=0",
              "MailProgram=", "SoundFile=", "MDaemonPath=", "MDaemonActivate=0", "ReceiveLog=1",
              "ReplaySound=0"]
    return "\r\n".join(lines) + "\r\n"


def uidls_of(text):
    """UIDL of each mailbox section in a settings file."""
    found, section = {}, None
    for line in text.splitlines():
        if line.startswith("[MailBox"):
            section = int(line[8:line.index("]")])
        elif line.startswith("UIDL=") and section is not None:
            found[section] = line[5:]
    return found


def without_uidls(text):
    return "\n".join(line for line in text.splitlines() if not line.startswith("UIDL="))


def resources(pid):
    status = pathlib.Path(f"/proc/{pid}/status").read_text()
    fields = dict(line.split(":", 1) for line in status.splitlines() if ":" in line)
    return {"fds": len(os.listdir(f"/proc/{pid}/fd")), "threads": int(fields["Threads"]),
            "rss_kb": int(fields["VmRSS"].split()[0])}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", required=True)
    parser.add_argument("--check")
    parser.add_argument("--with-cli", action="store_true")
    parser.add_argument("--cycles", type=int, default=1000)
    parser.add_argument("--cycle-ms", type=int, default=3000)
    parser.add_argument("--reply-timeout-ms", type=int, default=250)
    parser.add_argument("--cli-every", type=float, default=3.0)
    parser.add_argument("--report")
    args = parser.parse_args()
    if args.with_cli and not args.check:
        parser.error("--with-cli needs --check")

    work = pathlib.Path(tempfile.mkdtemp(prefix="postvane-soak-"))
    os.chmod(work, 0o755)
    problems = []
    tray = None
    servers = []
    dovecot = None
    try:
        context_a, trusted = make_certificate(work, "trusted")
        context_b, _ = make_certificate(work, "changed")
        servers.append(Pop3Server(0, lambda turn: "good"))
        for index in range(2, 8):
            servers.append(Pop3Server(index, lambda turn, i=index: KINDS[(turn + i) % len(KINDS)]))
        servers.append(Pop3Server(8, lambda turn: "good" if turn % 2 == 0 else "changed-certificate",
                                  contexts=[context_a, context_b]))
        servers.append(Pop3Server(9, lambda turn: "good"))
        finish = servers[-1]
        misbehaving = servers[1:-1]
        clock = servers[0]
        for server in servers:
            server.cycles = lambda: len(clock.sessions)
        # Mailbox 0 is checked first in every cycle: its sessions count the cycles.
        clock.on_accept = lambda: [s.reopen_if_due(len(clock.sessions)) for s in misbehaving]
        dovecot = Dovecot(work / "dovecot")

        settings = work / "Postvane.ini"
        ports = [s.port for s in servers]
        initial = settings_text(ports[:1] + [dovecot.port] + ports[1:], trusted)
        settings.write_bytes(initial.encode("latin-1"))
        home = work / "home"
        runtime = work / "run"
        home.mkdir()
        runtime.mkdir(mode=0o700)
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen", HOME=str(home),
                   XDG_RUNTIME_DIR=str(runtime), XDG_CONFIG_HOME=str(home / ".config"),
                   DBUS_SESSION_BUS_ADDRESS="unix:path=/nonexistent",
                   POSTVANE_MINUTE_TIMER_MS=str(args.cycle_ms),
                   POSTVANE_REPLY_TIMEOUT_MS=str(args.reply_timeout_ms))
        tray_log = open(work / "tray.log", "wb")
        tray = subprocess.Popen([args.program, "--settings", str(settings)], env=env,
                                stdout=tray_log, stderr=subprocess.STDOUT)

        started = time.monotonic()
        deadline = started + args.cycles * (2 * args.cycle_ms / 1000) + 4 * SLACK_SECONDS
        at_ten = None
        next_cli = started + args.cli_every
        cli_runs = []
        last_acked = {}
        delivered_at = 0
        while True:
            # Each run of postvane-check visits mailbox 0 once as well.
            cycles = len(clock.sessions) - len(cli_runs)
            if tray.poll() is not None:
                problems.append(f"the tray program ended (status {tray.returncode})")
                break
            if at_ten is None and cycles >= 10:
                at_ten = resources(tray.pid)
            if cycles >= args.cycles:
                break
            if time.monotonic() > deadline:
                problems.append(f"only {cycles} of {args.cycles} cycles before the deadline")
                break
            if cycles // 5 > delivered_at:
                delivered_at = cycles // 5
                dovecot.deliver()
            if args.with_cli and time.monotonic() >= next_cli:
                # Only postvane-check acknowledges here: the file must hold what it saved last.
                before = uidls_of(settings.read_bytes().decode("latin-1"))
                if before != last_acked:
                    problems.append(f"acknowledgements changed between two runs: {last_acked} -> {before}")
                run = subprocess.run([args.check, "--settings", str(settings), "--ack", "--json",
                                      "--timeout", "30"], env=env, capture_output=True)
                text = run.stdout.decode("utf-8", "replace")
                cli_runs.append(run.returncode)
                if run.returncode not in (0, 1, 2):
                    problems.append(f"postvane-check --ack ended with {run.returncode}: "
                                    f"{run.stderr.decode('utf-8', 'replace').strip()[:200]}")
                for marker in ("Unknown error", "Cannot assign requested address",
                               "Address already in use"):
                    if marker in text:
                        problems.append(f"postvane-check reported a port collision: {marker}")
                if run.returncode == 74:
                    problems.append("postvane-check could not save its acknowledgement")
                last_acked = uidls_of(settings.read_bytes().decode("latin-1"))
                next_cli = time.monotonic() + args.cli_every
            time.sleep(0.05)

        end = resources(tray.pid) if tray.poll() is None else None
        elapsed = time.monotonic() - started

        # Every cycle begun at mailbox 0 must reach mailbox 9 (the one still running aside).
        times = [t for t, _ in clock.sessions]
        gaps = [b - a for a, b in zip(times, times[1:])]
        longest_gap = max(gaps, default=0.0)
        not_ended = max(0, len(clock.sessions) - len(finish.sessions) - 1)
        # How long a cycle takes: from a session at mailbox 0 to the next one at mailbox 9.
        ends = [t for t, _ in finish.sessions]
        durations = []
        for begun in times:
            later = [t for t in ends if t > begun]
            if later:
                durations.append(later[0] - begun)
        longest_cycle = max(durations, default=0.0)
        # The next tick cuts a cycle that is still running; on a loaded machine a few are. A
        # cycle that hangs shows as mailboxes behind it that are never reached (stuck, below).
        if not_ended > len(times) // 20:
            problems.append(f"{not_ended} of {len(times)} cycles did not end")
        # A mailbox is stuck when it had no session in the last quarter of the run.
        quiet_since = times[-1] - (times[-1] - times[0]) / 4 if len(times) > 8 else None
        contacts = {}
        for server in servers:
            contacts[server.index] = len(server.sessions)
            if quiet_since is not None and not any(t >= quiet_since for t, _ in server.sessions):
                problems.append(f"mailbox {server.index} stayed stuck")
        contacts[1] = dovecot.logins()
        if quiet_since is not None and contacts[1] < len(times) // 2:
            problems.append(f"mailbox 1 (Dovecot) was checked {contacts[1]} times in {len(times)} cycles")

        tray.terminate()
        try:
            tray.wait(10)
        except subprocess.TimeoutExpired:
            tray.kill()
            problems.append("the tray program did not end on SIGTERM")
        tray = None

        final = settings.read_bytes().decode("latin-1")
        if args.with_cli:
            if without_uidls(final) != without_uidls(initial):
                problems.append("the settings file changed beyond the acknowledgements")
            if last_acked and uidls_of(final) != last_acked:
                problems.append("an acknowledgement was lost at the end")
        elif final != initial:
            problems.append("the settings file changed")

        kinds = {}
        for server in misbehaving:
            for _, kind in server.sessions:
                kinds[kind] = kinds.get(kind, 0) + 1
        for kind in KINDS + ["changed-certificate"]:
            if args.cycles >= 20 and kinds.get(kind, 0) == 0:
                problems.append(f"no server behaved as '{kind}'")

        report = {
            "cycles": len(times) - len(cli_runs), "seconds": round(elapsed, 1),
            "cycles_per_minute": round(60 * (len(times) - len(cli_runs)) / elapsed, 1) if elapsed else 0,
            # Connections that came from a port above the first: the one below was still taken
            # (by the other program, or by a connection of our own still winding down).
            "sessions_from_a_later_port": sum(1 for s in servers for p in s.peer_ports if p > 20000),
            "at_cycle_10": at_ten, "at_end": end, "longest_gap_s": round(longest_gap, 2),
            "longest_cycle_s": round(longest_cycle, 2),
            "cycles_not_ended": not_ended, "sessions_per_mailbox": contacts,
            "misbehaviours": kinds, "dovecot_messages_delivered": dovecot.delivered,
            "cli_runs": len(cli_runs),
            "cli_exit_codes": {str(c): cli_runs.count(c) for c in sorted(set(cli_runs))},
            "settings_kept": not any("settings" in p for p in problems),
            "problems": problems,
        }
        if at_ten and end:
            report["growth"] = {k: end[k] - at_ten[k] for k in end}
        text = json.dumps(report, indent=1)
        print(text)
        if args.report:
            pathlib.Path(args.report).write_text(text + "\n")
    finally:
        if tray is not None:
            tray.kill()
            tray.wait()
        for server in servers:
            server.stop()
        if dovecot is not None:
            dovecot.stop()
        if problems:
            print(f"soak: kept {work} for a look", file=sys.stderr)
        else:
            shutil.rmtree(work, ignore_errors=True)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
