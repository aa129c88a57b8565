#!/usr/bin/env python3
"""Hands every link that the browsers resolved to one mail program and checks
that each arrives as meant exactly where the program wrote no note.

Usage: test_mail.py mutt|alpine|thunderbird RESOLVED.json

RESOLVED.json comes from tests/browser/resolve_links.mjs. Each case varies
one field; "as meant" is that field as the page reads it (the browser's
reading, in "meant"), with each %xx decoded once (UTF-8, or Latin-1 where
the bytes are none), blanks, tabs and line breaks at its ends dropped, and
a name's enclosing quotes taken off. The case's "breaks" column lists the
mail programs that get it wrong: "page", "server" and "url" cases arrive as
meant in all of them, and "typed" cases exactly as typed (which went
through the wrong code page, so it is not what was meant), but all must
still get their note."""

import base64
import email.utils
import importlib
import json
import os
import re
import sys
import tempfile
import unittest
import urllib.parse

READER = sys.argv[1] if len(sys.argv) > 1 else ""
RESOLVED = sys.argv[2] if len(sys.argv) > 2 else ""

# Messages that arrive wrong, and where.
MESSAGE_BREAKS = {
    # Mutt keeps the bytes, but sends them labelled UTF-8; Thunderbird sends
    # U+FFFD for each (observed).
    "Latin-1": ["alpine", "thunderbird"],
    # Mutt refuses the link; Alpine ends the message there; Thunderbird
    # keeps the NUL and sends the message in base64 (observed).
    "a NUL byte": ["mutt", "alpine"],
}


def expected_body(message, arrived):
    """The message as this mail program may show it, the allowed changes only."""
    if READER == "alpine":
        # Observed: Alpine drops every carriage return (so CR LF arrives as
        # LF), and ends a message that is not multipart with one line feed.
        message = message.replace(b"\r", b"")
        if not arrived.get("multipart"):
            message += b"\n"
    if READER == "thunderbird":
        # Observed: every line end (LF, CR or CR LF) goes as CR LF, and a
        # last line without one gets it.
        message = re.sub(rb"\r\n|\r|\n", b"\r\n", message)
        if message and not message.endswith(b"\r\n"):
            message += b"\r\n"
    return message  # Mutt's draft holds the body byte for byte (observed)


def percent_decoded(text):
    raw = urllib.parse.unquote_to_bytes(text)
    try:
        return raw.decode("utf-8")
    except UnicodeDecodeError:
        return raw.decode("latin-1")


def trimmed(text):
    return text.strip(" \t\r\n")


def as_sent(text):
    """Thunderbird trims each field and sends every run of white space in
    it (a tab, a no-break space) as one blank (observed)."""
    return re.sub(r"\s+", " ", text).strip() if READER == "thunderbird" else text


def recipients(to):
    """(name, address, valid) for each recipient: Thunderbird's address
    pills, which it marks valid or not, or the To header that Mutt and
    Alpine wrote (they mark none). White space at a name's ends is no fault:
    Alpine keeps a tab inside the quotes, which no reader shows."""
    if isinstance(to, str):
        return [(trimmed(name), address, True)
                for name, address in email.utils.getaddresses([to])]
    return [tuple(pill) for pill in to]


def as_meant(fields):
    name = trimmed(percent_decoded(fields["name"]))
    if len(name) >= 2 and name[0] == name[-1] == '"':
        name = trimmed(name[1:-1])
    return {"name": name, "address": trimmed(percent_decoded(fields["address"])),
            "subject": trimmed(percent_decoded(fields["subject"]))}


def what_went_wrong(arrived, meant, message):
    """None if the mail program composed what was meant, else what it did."""
    if isinstance(arrived, str):
        return arrived  # it composed nothing, and says why
    to = recipients(arrived["to"])
    if to != [(as_sent(meant["name"]), as_sent(meant["address"]), True)]:
        return f"To {arrived['to']!r} read as {to}"
    if trimmed(arrived["cc"]):
        return f"Cc {arrived['cc']!r}"
    if trimmed(arrived["subject"]) != as_sent(meant["subject"]):
        return f"Subject {arrived['subject']!r}"
    if arrived["body"] != expected_body(message, arrived):
        return f"body {arrived['body']!r}"
    return None


def breaks_here(readers):
    return READER in readers


class MailProgram(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with open(RESOLVED, encoding="utf-8") as f:
            cls.resolved = json.load(f)
        driver = importlib.import_module(READER)
        links = [c["href"] for c in cls.resolved["cases"] + cls.resolved["messages"]]
        with tempfile.TemporaryDirectory(prefix=f"kuvertpfeil-{READER}-") as workdir:
            cls.arrived = driver.compose_all(links, workdir)

    def test_a_note_exactly_where_a_field_breaks(self):
        message = base64.b64decode(self.resolved["message_base64"])
        for case, arrived in zip(self.resolved["cases"], self.arrived):
            with self.subTest(line=case["line"], field=case["field"], typed=case["typed"]):
                self.assertEqual(case["exit"], 0)
                wrong = what_went_wrong(arrived, as_meant(case["meant"]), message)
                self.assertEqual(wrong is not None, breaks_here(case["breaks"].split(",")),
                                 f"arrived: {wrong}; notes: {case['notes']!r}")
                self.assertEqual(case["notes"] != "", case["breaks"] != "-", case["notes"])

    def test_messages_arrive_exactly_or_get_their_note(self):
        meant = as_meant(self.resolved["fixed"])
        arrived_messages = self.arrived[len(self.resolved["cases"]):]
        for case, arrived in zip(self.resolved["messages"], arrived_messages):
            with self.subTest(message=case["label"]):
                breaks = MESSAGE_BREAKS.get(case["label"], [])
                wrong = what_went_wrong(arrived, meant,
                                        base64.b64decode(case["message_base64"]))
                self.assertEqual(case["exit"], 0)
                self.assertEqual(wrong is not None, breaks_here(breaks), wrong)
                self.assertEqual(case["notes"] != "", breaks != [], case["notes"])


if __name__ == "__main__":
    sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
    unittest.main(argv=sys.argv[:1], verbosity=1)
