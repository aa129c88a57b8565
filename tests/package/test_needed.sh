#!/usr/bin/env bash
# Start-up stays short: the program needs the C library alone (no C++
# runtime library is loaded), and a run that writes the link to standard
# output takes nothing from the heap.
# Usage: test_needed.sh KUVERTPFEIL HEAP_TRIPWIRE_MODULE
set -euo pipefail
exe=$1
tripwire=$2
needed=$(objdump -p "$exe" | awk '$1 == "NEEDED" { print $2 }')
echo "NEEDED: $needed"
test "$needed" = libc.so.6

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
printf 'Hallo Welt\n' >"$scratch/msg.txt"
# The tripwire must fire where the C library does allocate: a named target.
status=0
LD_PRELOAD=$tripwire "$exe" N A S "$scratch/msg.txt" "$scratch/out.html" >/dev/null 2>&1 || status=$?
test "$status" = 99
for run in "$scratch/msg.txt -" "- -" "$scratch/msg.txt - -h"; do
    # shellcheck disable=SC2086 # the words of $run are the arguments
    LD_PRELOAD=$tripwire "$exe" N A S $run <"$scratch/msg.txt" >/dev/null
    echo "no heap: N A S $run"
done
