#!/usr/bin/env bash
# The program needs the C library alone: no C++ runtime library is loaded
# at start-up.
set -euo pipefail
needed=$(objdump -p "$1" | awk '$1 == "NEEDED" { print $2 }')
echo "NEEDED: $needed"
test "$needed" = libc.so.6
