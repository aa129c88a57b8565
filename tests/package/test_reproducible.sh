#!/usr/bin/env bash
# Builds the Debian package and the Windows kuvertpfeil.exe twice, from two
# clones of the last commit in different folders at different times, and
# requires the same bytes both times.
set -euo pipefail
source_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

build() {
    local clone=$1
    git clone --quiet "$source_dir" "$clone"
    cmake -S "$clone" -B "$clone/build" -DKUVERTPFEIL_TESTS=OFF >/dev/null
    cmake --build "$clone/build" -j"$(nproc)" >/dev/null
    (cd "$clone/build" && cpack -G DEB >/dev/null)
    (cd "$clone" && cmake --preset windows >/dev/null && cmake --build build/windows >/dev/null)
}

build "$work/first"
sleep 2
build "$work/second/elsewhere"
for file in "build/kuvertpfeil_2.3_$(dpkg --print-architecture).deb" build/windows/kuvertpfeil.exe; do
    cmp "$work/first/$file" "$work/second/elsewhere/$file"
    echo "identical: $file"
done
