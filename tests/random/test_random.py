#!/usr/bin/env python3
"""The random reader test: seeded unusual fields and messages, written as
pages by the program, resolved by both browsers and read by every mail
program, as the table's rows are. A case fails where

- a field or message arrives wrong in some reader and has no note;
- it has a note but arrives as meant everywhere, unless every note is one
  that fires on purpose (arrival.ON_PURPOSE);
- a Vorschlag does not arrive as meant everywhere, or gets a note itself;
- a noted field gets no Vorschlag where one is due: it is cut, not UTF-8,
  not one plain address, or a name that no quoting gets through, or the
  rewrite could take over 99 bytes;
- the two browsers read a link differently.

Usage: test_random.py --exe KUVERTPFEIL --rules FIRED_RULES --workdir DIR
                      [--seed N] [--cases N] [--readers mutt,alpine,...]
KUVERTPFEIL_RANDOM_SEED and KUVERTPFEIL_RANDOM_CASES, where set, choose
another seed and number of cases. Failing cases print as rows of
tests/link_fields.tsv, with the checks that fire and where the field arrived
wrong, ready to paste."""

import argparse
import base64
import concurrent.futures
import json
import os
import re
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "mail"))
sys.path.insert(0, HERE)

import arrival  # noqa: E402
import random_cases  # noqa: E402
import readers as readers_by_click  # noqa: E402

READERS = ["mutt", "neomutt", "alpine", "thunderbird", "kmail", "roundcube"]
LABELS = {"name": "Empfaengername", "address": "Empfaengeradresse", "subject": "Betreffzeile"}


def resolve(exe, workdir, cases, messages):
    """Writes the cases and messages, has both browsers resolve them, and
    returns the resolved links and what resolve_links.mjs reported."""
    table = os.path.join(workdir, "cases.tsv")
    with open(table, "w", encoding="utf-8", errors="surrogateescape") as f:
        for field, typed in cases:
            f.write(f"{field}\t{random_cases.table_notation(typed)}\t?\t?\n")
    with open(os.path.join(workdir, "messages.json"), "w") as f:
        json.dump([{"label": label, "message_base64": base64.b64encode(text).decode()}
                   for label, text in messages], f)
    out = os.path.join(workdir, "resolved.json")
    script = os.path.join(os.path.dirname(HERE), "browser", "resolve_links.mjs")
    run = subprocess.run(["node", script, table, out, os.path.join(workdir, "messages.json")],
                         env=dict(os.environ, KUVERTPFEIL_EXE=exe), capture_output=True,
                         text=True)
    with open(out, encoding="utf-8") as f:
        return json.load(f), run.stdout + run.stderr, run.returncode


# What a reader says where it missed its time: on a busy machine that
# happens, so such a link is tried once more, alone. A refusal is final.
MISSED_TIME = re.compile(r"still ran after|opened no compose window|no Roundcube compose page|"
                         r"answered no Send within|went away after Send|No element found|"
                         r"KMail: no .* within|"
                         r"[Tt]ime(d )?out")


def compose_everywhere(readers, cases, workdir):
    """Each reader's results for the cases, by browser ("mutt@firefox"), the
    readers side by side."""
    def compose(reader, subset, folder):
        return readers_by_click.compose_clicked(reader, subset, os.path.join(workdir, folder))

    def compose_all(reader):
        start = time.monotonic()
        results = compose(reader, cases, reader)
        print(f"{reader}: {len(cases)} links in {time.monotonic() - start:.0f} s", flush=True)
        return results
    with concurrent.futures.ThreadPoolExecutor(len(readers)) as pool:
        arrived = dict(zip(readers, pool.map(compose_all, readers)))
    for reader in readers:
        again = [i for i, results in enumerate(arrived[reader])
                 if any(isinstance(result, str) and MISSED_TIME.search(result)
                        for result in results.values())]
        if again:
            retried = compose(reader, [cases[i] for i in again], reader + "-again")
            for i, results in zip(again, retried):
                arrived[reader][i] = results
            print(f"{reader}: {len(again)} links tried once more", flush=True)
    return {f"{reader}@{browser}": [results[browser] for results in arrived[reader]]
            for reader in readers for browser in arrived[reader][0]} if cases else {}


def fired_rules(tool, cases):
    lines = "".join(f"{c['field']}\t{c['typed_bytes'].hex()}\n" for c in cases)
    out = subprocess.run([tool], input=lines, capture_output=True, text=True, check=True)
    return out.stdout.split()


def rewrite_bound(field, meant):
    """The most bytes a rewrite of meant can take: each character as the
    rewrite at most writes it, and a name's enclosing quotes."""
    if field == "name":
        return 12 + sum(1 if c.isascii() and c.isalnum() else 9 for c in meant)
    return sum(1 if c.isascii() else 3 * len(c.encode()) for c in meant) * 3


def rewrite_due(case, rules, meant):
    """Whether a noted field should get a Vorschlag: the README's list of
    where it gets none, read off its checks and its meaning."""
    checks = set(rules.split(",")) - {"-"}
    field = case["field"]
    if not checks or "10" in checks or len(case["typed_bytes"]) > 99 or not meant.strip():
        return False
    if field == "address" and checks & {"1", "7"}:
        return False
    if field == "name" and (checks & {"16"} or any(c in meant for c in '"\\;')
                            or ("@" in meant and "," in meant[meant.index("@"):])):
        return False
    # KMail decodes the link twice: no form of these arrives there and in
    # the others alike.
    if field != "subject" and ("#" in meant or "?" in meant):
        return False
    if field == "subject" and (re.search(r"%[0-9A-Fa-f]{2}", meant) or meant.startswith("&")
                               or re.search(r"&.*=", meant) or "22" in checks):
        return False
    if field == "address" and not has_ascii_form(meant):
        return False
    return rewrite_bound(field, meant) <= 99


def has_ascii_form(address):
    """Whether an address beyond ASCII has a form that KMail sends: ASCII
    before the '@', and each label of the domain ASCII or of letters from
    U+00DF to U+00FF (less U+00F7) whose Punycode form fits in 63."""
    local, _, domain = address.partition("@")
    if not local.isascii():
        return False
    for label in domain.split("."):
        if label.isascii():
            continue
        if any(ord(c) >= 0x80 and not (0xDF <= ord(c) <= 0xFF and ord(c) != 0xF7) for c in label):
            return False
        if len("xn--" + label.lower().encode("punycode").decode()) > 63:
            return False
    return True


def rewrite_of(case):
    label = LABELS[case["field"]]
    for line in case["notes"].splitlines():
        if line.startswith(f" Hinweis: Vorschlag fuer {label}: \""):
            return line[len(f" Hinweis: Vorschlag fuer {label}: \""):-1]
    return None


def judged_as(reader_at_browser):
    return reader_at_browser.split("@")[0]


def by_reader(wrong):
    """Where a field arrived wrong, as the table's breaks column writes it: a
    reader alone where it goes wrong through both browsers."""
    readers = {}
    for reader_at_browser in wrong:
        reader, _, browser = reader_at_browser.partition("@")
        readers.setdefault(reader, []).append(browser)
    both = len(readers_by_click.BROWSERS)
    return ",".join(r if r in readers_by_click.WEB_MAIL or len(b) == both else f"{r}@{b[0]}"
                    for r, b in readers.items()) or "-"


def judge(resolved, arrived, rules):
    """The failures, each (what, the case, where it arrived wrong)."""
    failures = []
    message = base64.b64decode(resolved["message_base64"])
    cases = resolved["cases"]
    for i, case in enumerate(cases):
        meant = arrival.as_meant(case["meant"])
        wrong = {r: arrival.what_went_wrong(judged_as(r), arrived[r][i], meant, message)
                 for r in arrived}
        wrong = {r: w for r, w in wrong.items() if w is not None}
        notes = case["notes"]
        original = not case["comment"].startswith("the rewrite of line ")
        if case["exit"] != 0:
            failures.append((f"exit status {case['exit']}", case, wrong))
        elif not original and (notes or wrong):
            failures.append(("the Vorschlag gets a note or arrives wrong", case, wrong))
        elif wrong and not notes:
            failures.append(("arrives wrong, no note", case, wrong))
        elif notes and not wrong and not arrival.noted_on_purpose(notes):
            failures.append(("noted, but arrives as meant everywhere", case, wrong))
        elif (original and notes and rewrite_of(case) is None
              and rewrite_due(case, rules[i], meant[case["field"]])):
            failures.append(("noted, but no Vorschlag", case, wrong))
    fixed = arrival.as_meant(resolved["fixed"])
    for j, case in enumerate(resolved["messages"]):
        text = base64.b64decode(case["message_base64"])
        wrong = {r: arrival.what_went_wrong(judged_as(r), arrived[r][len(cases) + j], fixed, text)
                 for r in arrived}
        wrong = {r: w for r, w in wrong.items() if w is not None}
        if wrong and not case["notes"]:
            failures.append(("message arrives wrong, no note", case, wrong))
        elif case["notes"] and not wrong and not arrival.noted_on_purpose(case["notes"]):
            failures.append(("message noted, but arrives as meant everywhere", case, wrong))
    return failures


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--exe", required=True)
    parser.add_argument("--rules", required=True, help="the fired_rules tool")
    parser.add_argument("--workdir", required=True)
    parser.add_argument("--seed", type=int, default=int(os.environ.get("KUVERTPFEIL_RANDOM_SEED", 1)))
    parser.add_argument("--cases", type=int,
                        default=int(os.environ.get("KUVERTPFEIL_RANDOM_CASES", 100)))
    parser.add_argument("--readers", default=",".join(READERS))
    options = parser.parse_args()
    readers = options.readers.split(",")
    options.workdir = os.path.abspath(options.workdir)
    os.makedirs(options.workdir, exist_ok=True)
    cases, messages = random_cases.generate(options.seed, options.cases)
    print(f"seed {options.seed}: {len(cases)} cases, {len(messages)} messages", flush=True)
    resolved, report, status = resolve(options.exe, options.workdir, cases, messages)
    typed = {random_cases.table_notation(t): t for _, t in cases}
    for case in resolved["cases"]:
        case["typed_bytes"] = typed.get(case["typed"], case["typed"].encode())
    arrived = compose_everywhere(readers, resolved["cases"] + resolved["messages"],
                                 options.workdir)
    rules = fired_rules(options.rules, resolved["cases"])
    failures = judge(resolved, arrived, rules)
    if status != 0:
        failures.append((f"resolve_links.mjs: {report.strip().splitlines()[-1]}", {}, {}))
        print(report)
    for what, case, wrong in failures:
        print(f"\n{what}: {json.dumps(case.get('notes', ''), ensure_ascii=False)}")
        for reader, how in wrong.items():
            print(f"  {reader}: {how}")
        if "field" in case:
            i = resolved["cases"].index(case)
            breaks = by_reader(wrong)
            print(f"{case['field']}\t{case['typed']}\t{rules[i]}\t{breaks}")
        elif "label" in case:
            print(f"  message {case['label']}: {base64.b64decode(case['message_base64'])!r}")
    print(f"\nseed {options.seed}: {len(resolved['cases'])} fields (rewrites among them) and "
          f"{len(messages)} messages, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
