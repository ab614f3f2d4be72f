#!/usr/bin/env python3
"""The Python peer of the TLS bench: for each mailbox, connects with TLS from the first byte
(tls) or upgrades with STLS (starttls), verifies the server against the authorities the
environment names (SSL_CERT_FILE, SSL_CERT_DIR, as OpenSSL reads them), logs in and asks
what a check asks for: STAT, UIDL, QUIT. Exits 1 if any mailbox failed.
Usage: pop3_tls_client.py HOST PORT tls|starttls USER:PASSWORD ..."""
import socket
import ssl
import sys


def command(stream, line, multi=False):
    stream.write(line.encode() + b"\r\n")
    stream.flush()
    reply = stream.readline()
    if not reply.startswith(b"+OK"):
        raise RuntimeError(reply)
    if multi:
        while stream.readline() not in (b".\r\n", b""):
            pass


def check(host, port, mode, user, password, context):
    raw = socket.create_connection((host, port), 30)
    raw.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    if mode == "tls":
        conn = context.wrap_socket(raw, server_hostname=host)
        stream = conn.makefile("rwb")
        if not stream.readline().startswith(b"+OK"):
            raise RuntimeError("greeting")
    else:
        plain = raw.makefile("rwb")
        if not plain.readline().startswith(b"+OK"):
            raise RuntimeError("greeting")
        command(plain, "STLS")
        conn = context.wrap_socket(raw, server_hostname=host)
        stream = conn.makefile("rwb")
    command(stream, "USER " + user)
    command(stream, "PASS " + password)
    command(stream, "STAT")
    command(stream, "UIDL", multi=True)
    command(stream, "QUIT")
    conn.close()


def main():
    host, port, mode = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    context = ssl.create_default_context()
    failed = 0
    for box in sys.argv[4:]:
        user, password = box.split(":", 1)
        try:
            check(host, port, mode, user, password, context)
        except (OSError, RuntimeError, ssl.SSLError) as error:
            print("%s: %s" % (user, error), file=sys.stderr)
            failed = 1
    sys.exit(failed)


if __name__ == "__main__":
    main()
