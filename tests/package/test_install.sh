#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks what lands there: the
# program, which runs, and the manual page, which man renders without a
# single groff warning.
set -euo pipefail
build_dir=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build_dir" --prefix "$prefix" >/dev/null
test -x "$prefix/bin/kuvertpfeil"
page="$prefix/share/man/man1/kuvertpfeil.1.gz"
test -f "$page"
test -f "$prefix/share/doc/kuvertpfeil/copyright"

status=0
"$prefix/bin/kuvertpfeil" >/dev/null || status=$?
test "$status" -eq 1

rendered=$(MANWIDTH=80 man --warnings=w -l "$page" 2>"$prefix/warnings")
if [[ -s "$prefix/warnings" ]]; then
    echo "man reported:" && cat "$prefix/warnings"
    exit 1
fi
for heading in NAME SYNOPSIS BESCHREIBUNG OPTIONEN EXIT-STATUS BEISPIELE HINWEISE; do
    grep -q "^$heading" <<<"$rendered" || { echo "missing section $heading"; exit 1; }
done
for status in 0 1 2 4 8 16 32 64 128; do
    grep -Eq "^ +$status( |$)" <<<"$rendered" || { echo "exit status $status undocumented"; exit 1; }
done
# German words must not be split by (English) hyphenation patterns: groff
# marks a hyphen it inserts as U+2010, a typed one stays "-".
for width in 60 72 80 90 100 120; do
    if LC_ALL=C.UTF-8 MANWIDTH=$width man -l "$page" 2>/dev/null | grep $'\u2010$' >/dev/null; then
        echo "man hyphenates words at width $width"
        exit 1
    fi
done
echo "install tree and manual page: ok"
