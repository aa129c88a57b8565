#!/usr/bin/env python3
"""Hands every link that the browsers resolved to one mail program, as a
click in Chromium and in Firefox delivers it (readers.py), and checks that
each arrives as meant exactly where the program wrote no note.

Usage: test_mail.py mutt|neomutt|alpine|thunderbird|kmail|roundcube RESOLVED.json

RESOLVED.json comes from tests/browser/resolve_links.mjs. Each case varies
one field; "as meant" is arrival.as_meant of the browser's reading of the
fields (in "meant"). The case's "breaks" column lists the
mail programs that get it wrong ("mutt@firefox": through that browser
only): "page", "server" and "url" cases arrive as meant in all of them, and
"typed" cases exactly as typed (which went through the wrong code page, so
it is not what was meant), but all must still get their note.

KMail takes about a second a link, too long for all of them: it gets the
cases of a sample (sampled())."""

import base64
import json
import os
import shutil
import sys
import unittest

from arrival import MESSAGE_BREAKS, ON_PURPOSE, UNNOTED_MESSAGE_BREAKS, as_meant, what_went_wrong
from readers import BROWSERS, breaks_in, compose_clicked

READER = sys.argv[1] if len(sys.argv) > 1 else ""
RESOLVED = sys.argv[2] if len(sys.argv) > 2 else ""

# Readers that get a sample of the table's rows: every n-th row by line number.
EVERY_NTH_ROW = {"kmail": 4}


def sampled(reader, case):
    """Whether a case goes to the reader: every case, except for a reader of
    EVERY_NTH_ROW, which gets every row whose verdict in the breaks column
    differs from Mutt's through either browser, every rewrite, and of the
    other rows those whose line number is a multiple of n. The messages go
    to every reader."""
    if reader not in EVERY_NTH_ROW or case["comment"].startswith("the rewrite of line "):
        return True
    breaks = case["breaks"].split(",")
    return (any(breaks_in(reader, browser, breaks) != breaks_in("mutt", browser, breaks)
                for browser in BROWSERS)
            or case["line"] % EVERY_NTH_ROW[reader] == 0)


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
        cases = cls.resolved["cases"]
        chosen = [i for i, case in enumerate(cases) if sampled(READER, case)]
        chosen += range(len(cases), len(cases) + len(cls.resolved["messages"]))
        arrived = compose_clicked(READER, [(cases + cls.resolved["messages"])[i] for i in chosen],
                                  workdir)
        # None for a case left out of the sample.
        cls.arrived = [None] * (len(cases) + len(cls.resolved["messages"]))
        for i, by_browser in zip(chosen, arrived):
            cls.arrived[i] = by_browser
        print(f"{READER}: {len(chosen)} of {len(cls.arrived)} cases", file=sys.stderr)

    def test_a_note_exactly_where_a_field_breaks(self):
        message = base64.b64decode(self.resolved["message_base64"])
        for case, by_browser in zip(self.resolved["cases"], self.arrived):
            breaks = case["breaks"].split(",")
            for browser, arrived in (by_browser or {}).items():
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
                    expected = breaks_in(READER, browser, breaks + unnoted)
                    if expected is not None:
                        self.assertEqual(wrong is not None, expected, wrong)
            self.assertEqual(case["notes"] != "", breaks != [], case["notes"])


if __name__ == "__main__":
    sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
    unittest.main(argv=sys.argv[:1], verbosity=1)
