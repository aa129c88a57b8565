#!/usr/bin/env python3
"""The program's table of named character references holds exactly the
names (with and without ';') and characters of the HTML standard, as
Python's html.entities.html5 has them, sorted for its binary search."""

import html.entities
import re
import sys

source = open(sys.argv[1], encoding="utf-8").read()
names_block = source.split("NAMES[] =", 1)[1].split(";\n", 1)[0]
names = "".join(re.findall(r'"([^"]*)"', names_block))
rows = re.findall(r"\{(\d+), (\d+), 0x([0-9A-F]+), 0x([0-9A-F]+)\}", source)
table = {}
for offset, length, first, second in rows:
    name = names[int(offset):int(offset) + int(length)]
    table[name] = chr(int(first, 16)) + (chr(int(second, 16)) if int(second, 16) else "")
order = [names[int(offset):int(offset) + int(length)] for offset, length, _, _ in rows]
expected = html.entities.html5
for name in sorted(table.keys() ^ expected.keys()):
    print(f"{name}: {'only in the program' if name in table else 'missing'}")
for name in sorted(table.keys() & expected.keys()):
    if table[name] != expected[name]:
        print(f"{name}: {table[name]!r}, should be {expected[name]!r}")
in_order = order == sorted(order, key=str.encode) and len(set(order)) == len(order)
print(f"{len(table)} names in the program, {len(expected)} in the HTML standard;"
      f" {'sorted' if in_order else 'NOT sorted'}")
sys.exit(0 if table == expected and in_order else 1)
