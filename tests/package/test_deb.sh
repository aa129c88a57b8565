#!/usr/bin/env bash
# Builds the Debian package, installs it with dpkg, runs kuvertpfeil from the
# PATH and finds its manual page, then removes the package again. Needs root.
set -euo pipefail
build_dir=$1

if dpkg-query -W -f='${Status}' kuvertpfeil 2>/dev/null | grep -q "install ok installed"; then
    echo "kuvertpfeil is installed as a package already; not touching it"
    exit 1
fi

(cd "$build_dir" && cpack -G DEB >/dev/null)
package="$build_dir/kuvertpfeil_2.3_$(dpkg --print-architecture).deb"
test "$(dpkg-deb -f "$package" Version)" = "2.3"
dpkg-deb -c "$package" | grep -q '\./usr/bin/kuvertpfeil$'
dpkg-deb -c "$package" | grep -q '\./usr/share/man/man1/kuvertpfeil\.1$'

dpkg -i "$package" >/dev/null
trap 'dpkg -r kuvertpfeil >/dev/null' EXIT
test "$(command -v kuvertpfeil)" = /usr/bin/kuvertpfeil
status=0
help=$(cd / && kuvertpfeil) || status=$?
test "$status" -eq 1
grep -q " Syntax: kuvertpfeil <Empfaengername>" <<<"$help"
test "$(man -w kuvertpfeil)" = /usr/share/man/man1/kuvertpfeil.1

dpkg -r kuvertpfeil >/dev/null
trap - EXIT
test ! -e /usr/bin/kuvertpfeil
echo "Debian package: ok"
