#!/usr/bin/env python3
"""Hands every link that the browsers resolved to one mail program, as a
click in Chromium and in Firefox delivers it (readers.py), and checks that
each arrives as meant exactly where the program wrote no note.

Usage: test_mail.py mutt|neomutt|alpine|thunderbird|roundcube RESOLVED.json

RESOLVED.json comes from tests/browser/resolve_links.mjs. Each case varies
one field; "as meant" is arrival.as_meant of the browser's reading of the
fields (in "meant"). The case's "breaks" column lists the
mail programs that get it wrong ("mutt@firefox": through that browser
only): "page", "server" and "url" cases arrive as meant in all of them, and
"typed" cases exactly as typed (which went through the wrong code page, so
it is not what was meant), but all must still get their note."""

import base64
import json
import os
import shutil
import sys
import unittest

from arrival import MESSAGE_BREAKS, ON_PURPOSE, UNNOTED_MESSAGE_BREAKS, as_meant, what_went_wrong
from readers import breaks_in, compose_clicked

READER = sys.argv[1] if len(sys.argv) > 1 else ""
RESOLVED = sys.argv[2] if len(sys.argv) > 2 else ""


class MailProgram(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with open(RESOLVED, encoding="utf-8") as f:
            cls.resolved = json.load(f)
        # Each reader's files (profiles, servers' configurations, what it
        # sent) beside the resolved links, made anew each run.
        workdir = os.path.join(os.path.dirname(os.path.abspath(RESOLVED)), f"mail-{READER}")
        shutil.rmtree(workdir, ignore_errors=True)
        os.makedirs(workdir)
        cls.arrived = compose_clicked(READER, cls.resolved["cases"] + cls.resolved["messages"],
                                      workdir)

    def test_a_note_exactly_where_a_field_breaks(self):
        message = base64.b64decode(self.resolved["message_base64"])
        for case, by_browser in zip(self.resolved["cases"], self.arrived):
            breaks = case["breaks"].split(",")
            for browser, arrived in by_browser.items():
                with self.subTest(line=case["line"], field=case["field"], typed=case["typed"],
                                  browser=browser):
                    self.assertEqual(case["exit"], 0)
                    wrong = what_went_wrong(READER, arrived, as_meant(case["meant"]), message)
                    expected = breaks_in(READER, browser, breaks)
                    if expected is not None:
                        self.assertEqual(wrong is not None, expected,
                                         f"arrived: {wrong}; notes: {case['notes']!r}")
            self.assertEqual(case["notes"] != "", case["breaks"] != "-", case["notes"])
            for reason in set(breaks) & set(ON_PURPOSE):
                self.assertIn(ON_PURPOSE[reason], case["notes"])

    def test_messages_arrive_exactly_or_get_their_note(self):
        meant = as_meant(self.resolved["fixed"])
        arrived_messages = self.arrived[len(self.resolved["cases"]):]
        for case, by_browser in zip(self.resolved["messages"], arrived_messages):
            breaks = MESSAGE_BREAKS.get(case["label"], [])
            unnoted = UNNOTED_MESSAGE_BREAKS.get(case["label"], [])
            for browser, arrived in by_browser.items():
                with self.subTest(message=case["label"], browser=browser):
                    wrong = what_went_wrong(READER, arrived, meant,
                                            base64.b64decode(case["message_base64"]))
                    self.assertEqual(case["exit"], 0)
                    self.assertEqual(wrong is not None,
                                     breaks_in(READER, browser, breaks + unnoted), wrong)
            self.assertEqual(case["notes"] != "", breaks != [], case["notes"])


if __name__ == "__main__":
    sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
    unittest.main(argv=sys.argv[:1], verbosity=1)
