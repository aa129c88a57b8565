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
# Listed once: grep -q stops at its first match, and under pipefail the
# listing cut short by that would fail the test now and then.
contents=$(dpkg-deb -c "$package")
for file in usr/bin/kuvertpfeil usr/share/man/man1/kuvertpfeil.1.gz \
    usr/share/doc/kuvertpfeil/copyright usr/share/doc/kuvertpfeil/changelog.gz; do
    grep -q "\./$file\$" <<<"$contents" || { echo "$file is not packaged"; exit 1; }
done

# No error and no warning from lintian; its notes are shown.
lintian --info --fail-on error,warning "$package"

# The linker marks a program for control-flow protection only if every
# object in it is marked, the C library's start files among them.
c_library_start_files_marked() {
    local file
    for file in Scrt1.o crti.o crtn.o; do
        readelf -n "$(c++ -print-file-name=$file)" | grep 'x86 feature:.*IBT' >/dev/null || return 1
    done
}

# Every defense in force. hardening-check's answers are read one by one, as
# newer releases ask about more: a "no" fails unless the feature belongs to
# another architecture (branch protection is arm64's) or the C library here
# does not allow it. Debian 12's and 13's start files carry no IBT marks, so
# the binary stays unmarked; that its own code is built for control-flow
# protection shows in main's first instruction, endbr64.
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$package" "$unpacked"
answers=$(hardening-check "$unpacked/usr/bin/kuvertpfeil" || true)
echo "$answers"
missing=0
while IFS= read -r line; do
    case $line in
    *": yes"* | *": unknown"* | *":") continue ;;
    *"Branch Protection: "*) [[ $(dpkg --print-architecture) == arm64 ]] || continue ;;
    *"Control flow integrity: "*) c_library_start_files_marked || continue ;;
    esac
    echo "hardening missing:$line"
    missing=1
done <<<"$answers"
((missing == 0))
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
