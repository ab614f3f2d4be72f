#!/usr/bin/env python3
"""Fills Maildir folders for the comparison bench: make_mailboxes.py MAILROOT USER:COUNT ...

Messages go straight to cur/ with file names in delivery order, each with the headers a
provider adds today, so a header fetch costs what it costs on a real mailbox."""
import os
import sys

HEADER = (
    "Return-Path: <sender{n}@example.org>\r\n"
    "Delivered-To: {user}@example.org\r\n"
    "Received: from mx.example.org (mx.example.org [192.0.2.25])\r\n"
    "\tby mail.example.net with ESMTPS id {n:08x}\r\n"
    "\tfor <{user}@example.org>; Tue, 1 Oct 2024 09:{m:02d}:44 +0200\r\n"
    "DKIM-Signature: v=1; a=rsa-sha256; c=relaxed/relaxed; d=example.org; s=mail;\r\n"
    "\th=from:to:subject:date:message-id; bh=47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU=;\r\n"
    "\tb=dGhpcyBpcyBub3QgYSByZWFsIHNpZ25hdHVyZSwgb25seSBpdHMgc2l6ZQ==\r\n"
    "From: Sender {n} <sender{n}@example.org>\r\n"
    "To: {user}@example.org\r\n"
    "Subject: Message {n} for {user}\r\n"
    "Date: Tue, 1 Oct 2024 09:{m:02d}:44 +0200\r\n"
    "Message-ID: <{n}.{user}@example.org>\r\n"
    "X-Priority: 3\r\n"
    "MIME-Version: 1.0\r\n"
    "Content-Type: text/plain; charset=utf-8\r\n"
    "\r\n"
    "Body of message {n}.\r\n"
)


def main():
    root = sys.argv[1]
    for spec in sys.argv[2:]:
        user, count = spec.split(":")
        box = os.path.join(root, user)
        for sub in ("tmp", "new", "cur"):
            os.makedirs(os.path.join(box, sub), exist_ok=True)
        for n in range(1, int(count) + 1):
            text = HEADER.format(n=n, m=n % 60, user=user).encode()
            name = "1700000000.M%06dP1.bench,S=%d:2,S" % (n, len(text))
            with open(os.path.join(box, "cur", name), "wb") as f:
                f.write(text)


if __name__ == "__main__":
    main()
