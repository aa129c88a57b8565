#!/usr/bin/env bash
# Builds the Debian package and holds it to Debian's standards (lintian, the
# hardening of the binary), installs it with dpkg, runs kuvertpfeil from the
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
for file in usr/share/man/man1/kuvertpfeil.1.gz usr/share/doc/kuvertpfeil/copyright \
    usr/share/doc/kuvertpfeil/changelog.gz; do
    dpkg-deb -c "$package" | grep -q "\./$file\$" || { echo "$file is not packaged"; exit 1; }
done

# No error and no warning from lintian; its notes are shown.
lintian --info --fail-on error,warning "$package"

# Every defense in force. Control-flow protection is compiled in (main begins
# with endbr64), but Debian 12's C library start files (crti.o: _init, _fini)
# are not built for it, so the linker rightly leaves the binary unmarked.
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$package" "$unpacked"
hardening-check --nocfprotection "$unpacked/usr/bin/kuvertpfeil"
objdump -d --disassemble=main "$build_dir/kuvertpfeil" | grep endbr64 >/dev/null

dpkg -i "$package" >/dev/null
trap 'rm -rf "$unpacked"; dpkg -r kuvertpfeil >/dev/null' EXIT
test "$(command -v kuvertpfeil)" = /usr/bin/kuvertpfeil
status=0
help=$(cd / && kuvertpfeil) || status=$?
test "$status" -eq 1
grep -q " Syntax: kuvertpfeil <Empfaengername>" <<<"$help"
test "$(man -w kuvertpfeil)" = /usr/share/man/man1/kuvertpfeil.1.gz

dpkg -r kuvertpfeil >/dev/null
rm -rf "$unpacked"
trap - EXIT
test ! -e /usr/bin/kuvertpfeil
echo "Debian package: ok"
