#!/usr/bin/env python3
"""The program's table of HTML 4.01 character names holds exactly the names
and code points that Python's html.entities has for HTML 4.01."""

import html.entities
import re
import sys

source = open(sys.argv[1], encoding="utf-8").read()
table = {name: int(code) for name, code in re.findall(r'\{"(\w+)", (\d+)\}', source)}
expected = html.entities.name2codepoint
for name in sorted(table.keys() ^ expected.keys()):
    print(f"{name}: {'only in the program' if name in table else 'missing'}")
for name in sorted(table.keys() & expected.keys()):
    if table[name] != expected[name]:
        print(f"{name}: {table[name]}, should be {expected[name]}")
print(f"{len(table)} names in the program, {len(expected)} in HTML 4.01")
sys.exit(0 if table == expected else 1)
