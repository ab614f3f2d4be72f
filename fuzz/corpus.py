#!/usr/bin/env python3
"""Seed corpora for the fuzz targets, made from real POP3 transcripts.

  fuzz/corpus.py record   runs a private Dovecot on 127.0.0.1, plays a few sessions against it
                          and stores what it answered in fuzz/transcripts/*.json
  fuzz/corpus.py seeds    writes fuzz/corpus/<target>/ from those transcripts

The seed layouts follow the input descriptions at the top of each fuzz_*.cpp.
"""
import json
import os
import pathlib
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import time

HERE = pathlib.Path(__file__).resolve().parent
TRANSCRIPTS = HERE / "transcripts"
CORPUS = HERE / "corpus"

MESSAGES = [
    "Return-Path: <anna@example.test>\r\nDelivered-To: alice@example.test\r\n"
    "From: Anna Example <anna@example.test>\r\nTo: alice@example.test\r\n"
    "Subject: Meeting on Tuesday\r\nDate: Tue, 5 Mar 2024 08:15:00 +0100\r\n"
    "X-Priority: 1 (Highest)\r\nMessage-ID: <1@example.test>\r\n\r\nSee you there.\r\n",
    "From: \"Bob B.\" <bob@example.test>\r\nTo: Alice <alice@example.test>,\r\n"
    "  carol@example.test\r\nSubject:    spaced subject   \r\n"
    "Date: Wed, 6 Mar 2024 23:59:59 -0000\r\n\r\nBody.\r\n",
    "From: list@example.test\r\nReply-To: list@example.test\r\nTo: alice@example.test\r\n"
    "Subject: =?UTF-8?Q?Gr=C3=BC=C3=9Fe?=\r\nDate: Thu, 7 Mar 2024 00:00:00 +0000\r\n"
    "Content-Type: text/plain; charset=utf-8\r\n\r\nHallo.\r\n",
]


# ---------------------------------------------------------------- recording


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def start_dovecot(folder):
    port = free_port()
    mail = folder / "mail"
    users = folder / "users"
    users.write_text(
        f"alice:{{PLAIN}}secret:65534:65534::{mail}/alice::\n"
        f"bob:{{PLAIN}}hunter2:65534:65534::{mail}/bob::\n")
    for user, count in (("alice", len(MESSAGES)), ("bob", 0)):
        for sub in ("cur", "new", "tmp"):
            (mail / user / "Maildir" / sub).mkdir(parents=True, exist_ok=True)
        for i in range(count):
            tmp = mail / user / "Maildir" / "tmp" / f"m{i}"
            tmp.write_bytes(MESSAGES[i].encode())
            tmp.rename(mail / user / "Maildir" / "new" / f"{1700000000 + i}.m{i}.test")
    subprocess.run(["chown", "-R", "65534:65534", str(mail)], check=True)
    config = folder / "dovecot.conf"
    config.write_text("\n".join([
        f"base_dir = {folder}/run", f"state_dir = {folder}/state",
        f"log_path = {folder}/dovecot.log", "protocols = pop3", "listen = 127.0.0.1",
        "ssl = no", "disable_plaintext_auth = no", "auth_mechanisms = plain login",
        "auth_failure_delay = 0", f"mail_location = maildir:{mail}/%u/Maildir",
        "passdb {", "  driver = passwd-file", f"  args = scheme=PLAIN username_format=%u {users}",
        "}", "userdb {", "  driver = passwd-file", f"  args = username_format=%u {users}", "}",
        "service pop3-login {", "  inet_listener pop3 {", "    address = 127.0.0.1",
        f"    port = {port}", "  }", "}",
        "service anvil {", "  unix_listener anvil-auth-penalty {", "    mode = 0", "  }", "}",
        ""]))
    process = subprocess.Popen(["dovecot", "-F", "-c", str(config)])
    for _ in range(200):
        try:
            socket.create_connection(("127.0.0.1", port), timeout=0.2).close()
            return process, port
        except OSError:
            time.sleep(0.05)
    process.terminate()
    raise SystemExit("dovecot did not start")


def read_reply(conn, multiline):
    data = b""
    end = b"\r\n.\r\n" if multiline else b"\r\n"
    while True:
        chunk = conn.recv(65536)
        if not chunk:
            return data
        data += chunk
        if data.endswith(end) or (multiline and data.startswith(b"-ERR") and data.endswith(b"\r\n")):
            return data


def session(port, user, password, tops, top_format="TOP {} 0"):
    """The dialogue the check engine runs: greeting, USER, PASS, STAT, LAST, UIDL, TOP, QUIT."""
    steps = []
    with socket.create_connection(("127.0.0.1", port)) as conn:
        steps.append({"command": None, "reply": read_reply(conn, False).decode("latin-1")})
        commands = [f"USER {user}", f"PASS {password}", "STAT", "LAST", "UIDL"]
        commands += [top_format.format(n) for n in tops] + ["QUIT"]
        for command in commands:
            conn.sendall(command.encode() + b"\r\n")
            reply = read_reply(conn, command == "UIDL" or command.startswith("TOP"))
            shown = "PASS xxxxx" if command.startswith("PASS") else command
            steps.append({"command": shown, "reply": reply.decode("latin-1")})
            if reply.startswith(b"-ERR") and command.startswith(("USER", "PASS")):
                break
    return steps


def record():
    TRANSCRIPTS.mkdir(exist_ok=True)
    folder = pathlib.Path(tempfile.mkdtemp(prefix="postvane-dovecot-"))
    # Dovecot's own users read the users file and the mail folders.
    folder.chmod(0o755)
    process = None
    try:
        process, port = start_dovecot(folder)
        sessions = {
            "three-new": session(port, "alice", "secret", [1, 2, 3]),
            "empty-mailbox": session(port, "bob", "hunter2", []),
            "wrong-password": session(port, "alice", "wrong", []),
            # Dovecot takes nothing after the line count, not even a blank.
            "top-trailing-blank": session(port, "alice", "secret", [1], "TOP {} 0 "),
        }
        for name, steps in sessions.items():
            (TRANSCRIPTS / f"{name}.json").write_text(json.dumps(steps, indent=1) + "\n")
            print(f"recorded {name}: {len(steps)} replies")
    finally:
        if process is not None:
            process.terminate()
            process.wait(timeout=10)
        shutil.rmtree(folder, ignore_errors=True)


# ---------------------------------------------------------------- seeds


def load_transcripts():
    return {path.stem: json.loads(path.read_text()) for path in sorted(TRANSCRIPTS.glob("*.json"))}


def data_event(data):
    if len(data) <= 255:
        return bytes([0, len(data)]) + data
    return bytes([1]) + struct.pack("<H", len(data)) + data


def dialogue_header(enabled, last_mail=0, uidls=(), limits=0, receive_log=1):
    uidl = bytes((list(uidls) + [0] * 10)[:10])
    return struct.pack("<HH", enabled, last_mail) + uidl + bytes([limits, receive_log])


def dialogue_events(replies, splits=1):
    """Restart, connect, then every reply; multi-line replies cut into `splits` blocks."""
    out = bytes([9, 4])
    for reply in replies:
        data = reply.encode("latin-1")
        if splits > 1 and len(data) > splits:
            step = len(data) // splits
            for k in range(splits):
                out += data_event(data[k * step:(k + 1) * step if k < splits - 1 else len(data)])
        else:
            out += data_event(data)
    return out


def write(target, name, content):
    # The cycle target and the session target read the same input layout.
    targets = ("fuzz_dialogue", "fuzz_cycle") if target == "fuzz_dialogue" else (target,)
    for each in targets:
        folder = CORPUS / each
        folder.mkdir(parents=True, exist_ok=True)
        (folder / name).write_bytes(content)


def dialogue_seeds(transcripts):
    full = [step["reply"] for step in transcripts["three-new"]]
    empty = [step["reply"] for step in transcripts["empty-mailbox"]]
    wrong = [step["reply"] for step in transcripts["wrong-password"]]
    refused_top = [step["reply"] for step in transcripts["top-trailing-blank"]]
    uids = [line.split(" ")[1] for line in full[5].split("\r\n")[1:-2]]
    write("fuzz_dialogue", "three-new", dialogue_header(1) + dialogue_events(full))
    write("fuzz_dialogue", "three-new-split", dialogue_header(1) + dialogue_events(full, 3))
    write("fuzz_dialogue", "empty-mailbox", dialogue_header(1) + dialogue_events(empty))
    write("fuzz_dialogue", "wrong-password", dialogue_header(1) + dialogue_events(wrong))
    write("fuzz_dialogue", "top-refused", dialogue_header(1) + dialogue_events(refused_top))
    # Two mailboxes, two cycles: the second cycle finds the same messages again.
    two = dialogue_header(0b1001, last_mail=0b1000, limits=0x44)
    two += dialogue_events(full) + bytes([4]) + b"".join(data_event(r.encode("latin-1")) for r in empty)
    two += dialogue_events(full)
    write("fuzz_dialogue", "two-mailboxes-two-cycles", two)
    # Acknowledged in between: the next cycle has nothing new.
    ack = dialogue_header(1) + dialogue_events(full) + bytes([11, 0]) + dialogue_events(full)
    write("fuzz_dialogue", "acknowledged", ack)
    # The server drops the line in the middle of the listing; a restart follows.
    cut = full[5].encode("latin-1")[:20]
    drop = dialogue_header(1) + dialogue_events(full[:5]) + data_event(cut) + bytes([6, 9, 4])
    write("fuzz_dialogue", "dropped-in-listing", drop)
    assert uids, "the recorded listing has unique-ids"
    secure_seeds(full)


def secure_seeds(full):
    """TLS from the first byte and STARTTLS, with the socket's handshake event (17)."""
    def security(mailbox, code):
        return bytes([16, mailbox, code])

    def handshake(outcome=0):
        return bytes([17, outcome])

    capa = data_event(b"+OK\r\nTOP\r\nUIDL\r\nSTLS\r\n.\r\n")
    tls = dialogue_header(1) + security(0, 1) + bytes([9, 4]) + handshake()
    tls += b"".join(data_event(r.encode("latin-1")) for r in full)
    write("fuzz_dialogue", "tls", tls)
    upgrade = dialogue_header(1) + security(0, 2) + bytes([9, 4])
    upgrade += data_event(full[0].encode("latin-1")) + capa + data_event(b"+OK Begin TLS\r\n")
    starttls = upgrade + handshake() + data_event(b"+OK\r\nTOP\r\n.\r\n")
    starttls += b"".join(data_event(r.encode("latin-1")) for r in full[1:])
    write("fuzz_dialogue", "starttls", starttls)
    write("fuzz_dialogue", "starttls-untrusted", upgrade + handshake(1) + bytes([9, 4]))


def rules_record(message_count, new_count=0, last_accessed=0, flags=0, bound=0, number=0):
    return bytes([]) + struct.pack("<HHHBBH", message_count, new_count, last_accessed, flags, bound,
                                   number)


def rules_seeds(transcripts):
    full = transcripts["three-new"]
    stat = full[3]["reply"].encode("latin-1")
    listing = full[5]["reply"].encode("latin-1")
    count = int(full[3]["reply"].split(" ")[1])
    write("fuzz_rules", "number-stat", bytes([0]) + rules_record(0) + stat[4:])
    write("fuzz_rules", "stat", bytes([1]) + rules_record(1, 1) + stat)
    write("fuzz_rules", "listing", bytes([2]) + rules_record(count) + listing)
    write("fuzz_rules", "listing-acknowledged", bytes([2]) + rules_record(count, count, 0, 2 * 2) + listing)
    write("fuzz_rules", "finish-last", bytes([3]) + rules_record(6, 6, 4, 1))
    for n, step in enumerate(full[6:6 + count], start=1):
        top = step["reply"].encode("latin-1")
        write("fuzz_rules", f"top-{n}", bytes([4]) + rules_record(count, count, 0, 0, count, n) + top)
    whole = bytes([5]) + rules_record(0) + bytes([len(stat)]) + stat + listing
    write("fuzz_rules", "whole-check", whole)
    watch = bytes([6]) + rules_record(0)
    for k in range(0, len(listing), 7):
        piece = listing[k:k + 7]
        watch += bytes([len(piece)]) + piece
    write("fuzz_rules", "watch-listing", watch)


def stored_password(plain):
    """Reversed, each code c as 256 - c: how the settings file keeps a password."""
    return "".join(chr((256 - ord(c)) % 256) for c in reversed(plain))


def settings_file(uidl):
    return ("[MailBox0]\r\nName=Work\r\nUser=alice\r\n"
            f"Password={stored_password('secret')}\r\n"
            "RemoteHost=127.0.0.1\r\nRemotePort=110\r\nEnabled=1\r\nLastMail=0\r\n"
            f"UIDL={uidl}\r\n"
            "[MailBox3]\r\nName=\"  Home  \"\r\nUser=bob\r\nPassword=\r\nRemoteHost=pop.example.test\r\n"
            "RemotePort=995\r\nEnabled=5\r\nLastMail=1\r\n"
            "[General]\r\nInterval=1 0\r\nNotifyType=7\r\nTrayType=0\r\nDoubleClick=2\r\n"
            "MailProgram=thunderbird -mail\r\nSoundFile=/usr/share/sounds/new.wav\r\n"
            "MDaemonPath=\r\nMDaemonActivate=0\r\nReceiveLog=1\r\nReplaySound=0\r\n"
            "[MailBox10]\r\nName=never read\r\n; a comment\r\n").encode("latin-1")


def settings_fresh():
    texts = [b"Work", b"alice", b"s\xc3\xa9cret", b"127.0.0.1", b"mail --new", b"/tmp/a.wav", b"/srv/md"]
    out = b"".join(bytes([len(t)]) + t for t in texts)
    out += struct.pack("<I", 110) + struct.pack("<hhhhhhhh", -1, 0, 10, 3, 1, 0, 1, -1)
    return out + bytes([16]) + b"000000016b165c09"


def settings_seeds(transcripts):
    listing = transcripts["three-new"][5]["reply"]
    uidl = listing.split("\r\n")[1].split(" ")[1]
    content = settings_file(uidl)
    head = struct.pack("<H", len(content)) + content
    write("fuzz_settings", "program-file-round-trip", bytes([0, 2, 1]) + head)
    write("fuzz_settings", "program-file-fresh", bytes([0, 2, 3]) + head + settings_fresh())
    write("fuzz_settings", "program-file-uidl", bytes([0, 2, 2 | 8]) + head + settings_fresh())
    write("fuzz_settings", "read-only", bytes([3, 0, 2 | 4]) + head + settings_fresh())
    lf = content.replace(b"\r\n", b"\n")
    write("fuzz_settings", "line-feeds", bytes([3, 1, 3]) + struct.pack("<H", len(lf)) + lf +
          settings_fresh())
    write("fuzz_settings", "no-file", bytes([0, 0, 3]) + struct.pack("<H", 0) + settings_fresh())
    dialog = settings_fresh() + bytes([6]) + b" +995 " + bytes([3]) + b"2.5"
    write("fuzz_settings", "dialog-fields", bytes([1, 4, 2 | 16]) + head + dialog)


def header_seeds(transcripts):
    """Header sections from the recorded TOP replies and from public mail: Python's own email
    test messages and, when scripts/fetch-mail-corpus.sh has fetched it, the spam corpus."""
    for name, exchanges in transcripts.items():
        for exchange in exchanges:
            if (exchange["command"] or "").startswith("TOP"):
                number = exchange["command"].split()[1]
                write("fuzz_headers", f"{name}-top-{number}", bytes([0]) + exchange["reply"].encode("latin-1"))
    version = f"python{sys.version_info[0]}.{sys.version_info[1]}"
    folders = [prefix / "lib" / version / "test" / "test_email" / "data"
               for prefix in {pathlib.Path("/usr"), pathlib.Path(sys.base_prefix)}]
    if os.environ.get("POSTVANE_MAIL_CORPUS"):
        folders.append(pathlib.Path(os.environ["POSTVANE_MAIL_CORPUS"]))
    for folder in sorted(set(folders)):
        if not folder.is_dir():
            continue
        # The first few of each folder.
        kept = 0
        pattern = "msg_*.txt" if folder.name == "data" else "*"
        for path in sorted(folder.rglob(pattern)):
            if kept >= 24 or not path.is_file():
                continue
            raw = path.read_bytes()
            head = raw.replace(b"\r\n", b"\n").split(b"\n\n", 1)[0].replace(b"\n", b"\r\n")
            write("fuzz_headers", f"mail-{folder.parent.name}-{path.name}", bytes([0]) + b"+OK\r\n" + head[:8000])
            kept += 1


def certificate_seeds():
    """Certificate texts as a TLS layer reports them, from the system's authorities and from a
    certificate made here for localhost."""
    def short(text):
        data = text.encode()[:255]
        return bytes([len(data)]) + data

    def openssl(*args, data=None):
        return subprocess.run(["openssl", *args], input=data, capture_output=True, check=True).stdout

    pems = sorted(pathlib.Path("/etc/ssl/certs").glob("*.pem"))[:6]
    with tempfile.TemporaryDirectory() as folder:
        key, cert = pathlib.Path(folder) / "key.pem", pathlib.Path(folder) / "cert.pem"
        openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj",
                "/CN=localhost/O=Postvane Test", "-keyout", str(key), "-out", str(cert))
        for index, pem in enumerate([cert] + pems):
            text = openssl("x509", "-noout", "-subject", "-issuer", "-startdate", "-enddate",
                           "-fingerprint", "-sha256", "-nameopt", "RFC2253", "-in", str(pem)).decode()
            fields = dict(line.split("=", 1) for line in text.splitlines() if "=" in line)
            digits = fields.get("sha256 Fingerprint", fields.get("SHA256 Fingerprint", ""))
            certificate = [fields.get("subject", ""), fields.get("issuer", ""),
                           fields.get("notBefore", ""), fields.get("notAfter", ""),
                           digits.replace(":", "")]
            for failure, flags in ((5, 2), (0, 1), (8, 2)):
                seed = bytes([failure, index % 6, flags]) + b"".join(short(f) for f in certificate)
                seed += short("TLSv1.3") + short("TLS_AES_256_GCM_SHA384") + short("certificate verify failed")
                write("fuzz_certificate", f"cert-{index}-{failure}", seed + digits.lower().encode())


def seeds():
    transcripts = load_transcripts()
    if not transcripts:
        raise SystemExit("no transcripts; run: fuzz/corpus.py record")
    # Inputs that once found a problem are kept as they are: regression-*.
    for target in ("fuzz_cycle", "fuzz_dialogue", "fuzz_rules", "fuzz_settings", "fuzz_headers",
                   "fuzz_certificate"):
        for seed in (CORPUS / target).glob("*"):
            if not seed.name.startswith("regression-"):
                seed.unlink()
    dialogue_seeds(transcripts)
    rules_seeds(transcripts)
    settings_seeds(transcripts)
    header_seeds(transcripts)
    certificate_seeds()
    for target in sorted(CORPUS.iterdir()):
        print(f"{target.name}: {len(list(target.iterdir()))} seeds")


if __name__ == "__main__":
    if len(sys.argv) != 2 or sys.argv[1] not in ("record", "seeds"):
        raise SystemExit(__doc__)
    record() if sys.argv[1] == "record" else seeds()
