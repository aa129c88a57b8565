#!/usr/bin/env bash
# A target whose close fails did not get the link: error 5, exit 32.
# Usage: test_close_failure.sh KUVERTPFEIL FCLOSE_FAILS_MODULE
set -euo pipefail
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
printf 'Hallo Welt\n' >"$scratch/msg.txt"
status=0
report=$(LD_PRELOAD=$2 "$1" N a@b.de S "$scratch/msg.txt" "$scratch/out.html") || status=$?
test "$status" = 32
grep -qF " Fehler 5: Zieldatei $scratch/out.html konnte nicht vollstaendig geschrieben" <<<"$report"
