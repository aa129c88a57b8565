#!/usr/bin/env bash
# Makes the Windows download with cpack -G ZIP, unpacks it and runs the
# program in it under Wine: without arguments it prints its help text, the
# same as the German text file beside it shows, and exits with 1.
set -euo pipefail
windows_build_dir=$1
export WINEPREFIX=$2 WINEDEBUG=-all
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$windows_build_dir" && cpack -G ZIP >/dev/null)
(cd "$work" && cmake -E tar xf "$windows_build_dir/kuvertpfeil-2.3-win64.zip")
folder="$work/kuvertpfeil-2.3-win64"
ls "$folder"
for file in kuvertpfeil.exe LICENSE.txt LIESMICH.txt; do
    test -f "$folder/$file"
done
grep -q "^MIT License" "$folder/LICENSE.txt"

status=0
wine "$folder/kuvertpfeil.exe" </dev/null >"$work/help.txt" 2>/dev/null || status=$?
wineserver -k 2>/dev/null || true
test "$status" -eq 1
help=$(<"$work/help.txt")
shown_path="Z:${folder//\//\\}\\kuvertpfeil.exe"
help=${help//"$shown_path"/kuvertpfeil.exe}
grep -q $' Syntax: kuvertpfeil.exe <Empfaengername>.*\r$' <<<"$help"
readme=$(<"$folder/LIESMICH.txt")
[[ $readme == *"$help"* ]] || { echo "LIESMICH.txt does not show the help text"; exit 1; }
echo "Windows zip: ok"
