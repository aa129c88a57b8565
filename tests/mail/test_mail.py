#!/usr/bin/env python3
"""Hands every link that the browsers resolved to one mail program and checks
that each arrives as meant exactly where the program wrote no note.

Usage: test_mail.py mutt|alpine|thunderbird RESOLVED.json

RESOLVED.json comes from tests/browser/resolve_links.mjs. Each case varies
one field; "as meant" is arrival.as_meant of the browser's reading of the
fields (in "meant"). The case's "breaks" column lists the
mail programs that get it wrong: "page", "server" and "url" cases arrive as
meant in all of them, and "typed" cases exactly as typed (which went
through the wrong code page, so it is not what was meant), but all must
still get their note."""

import base64
import importlib
import json
import os
import shutil
import sys
import unittest

from arrival import MESSAGE_BREAKS, ON_PURPOSE, as_meant, what_went_wrong

READER = sys.argv[1] if len(sys.argv) > 1 else ""
RESOLVED = sys.argv[2] if len(sys.argv) > 2 else ""


def breaks_here(readers):
    return READER in readers


class MailProgram(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with open(RESOLVED, encoding="utf-8") as f:
            cls.resolved = json.load(f)
        driver = importlib.import_module(READER)
        links = [c["href"] for c in cls.resolved["cases"] + cls.resolved["messages"]]
        # Each reader's files (profiles, servers' configurations, what it
        # sent) beside the resolved links, made anew each run.
        workdir = os.path.join(os.path.dirname(os.path.abspath(RESOLVED)), f"mail-{READER}")
        shutil.rmtree(workdir, ignore_errors=True)
        os.makedirs(workdir)
        cls.arrived = driver.compose_all(links, workdir)

    def test_a_note_exactly_where_a_field_breaks(self):
        message = base64.b64decode(self.resolved["message_base64"])
        for case, arrived in zip(self.resolved["cases"], self.arrived):
            with self.subTest(line=case["line"], field=case["field"], typed=case["typed"]):
                self.assertEqual(case["exit"], 0)
                wrong = what_went_wrong(READER, arrived, as_meant(case["meant"]), message)
                self.assertEqual(wrong is not None, breaks_here(case["breaks"].split(",")),
                                 f"arrived: {wrong}; notes: {case['notes']!r}")
                self.assertEqual(case["notes"] != "", case["breaks"] != "-", case["notes"])
                if case["breaks"] in ON_PURPOSE:
                    self.assertIn(ON_PURPOSE[case["breaks"]], case["notes"])

    def test_messages_arrive_exactly_or_get_their_note(self):
        meant = as_meant(self.resolved["fixed"])
        arrived_messages = self.arrived[len(self.resolved["cases"]):]
        for case, arrived in zip(self.resolved["messages"], arrived_messages):
            with self.subTest(message=case["label"]):
                breaks = MESSAGE_BREAKS.get(case["label"], [])
                wrong = what_went_wrong(READER, arrived, meant,
                                        base64.b64decode(case["message_base64"]))
                self.assertEqual(case["exit"], 0)
                self.assertEqual(wrong is not None, breaks_here(breaks), wrong)
                self.assertEqual(case["notes"] != "", breaks != [], case["notes"])


if __name__ == "__main__":
    sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
    unittest.main(argv=sys.argv[:1], verbosity=1)
