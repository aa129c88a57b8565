#!/usr/bin/env python3
"""The program's code page tables say for each byte from 0x80 up what
Python's codecs cp850, cp437 and cp1252 say. Five bytes that Python's cp1252
leaves undefined stand for U+0081 and so on there, as Windows and browsers
read them."""

import re
import sys

source = open(sys.argv[1], encoding="utf-8").read()
UNDEFINED_IN_PYTHON = {"cp1252": {0x81, 0x8D, 0x8F, 0x90, 0x9D}}
failures = 0
for name in ("cp850", "cp437", "cp1252"):
    block = source.split(f"constexpr char16_t {name.upper()}[128] = {{", 1)[1].split("};", 1)[0]
    table = [int(value, 16) for value in re.findall(r"0x([0-9A-F]{4})", block)]
    if len(table) != 128:
        print(f"{name}: {len(table)} entries, not 128")
        failures += 1
        continue
    for byte in range(0x80, 0x100):
        undefined = byte in UNDEFINED_IN_PYTHON.get(name, set())
        expected = byte if undefined else ord(bytes([byte]).decode(name))
        if table[byte - 0x80] != expected:
            print(f"{name} 0x{byte:02X}: U+{table[byte - 0x80]:04X}, should be U+{expected:04X}")
            failures += 1
    print(f"{name}: 128 entries checked")
sys.exit(1 if failures else 0)
