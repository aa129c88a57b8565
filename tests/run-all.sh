#!/usr/bin/env bash
# Installs what the tests need, then builds and runs every test: the native
# build (with the browser and package tests), the same tests under AddressSanitizer and
# UBSan, the Windows build under Wine, a timed fuzz run, and static analysis.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="$(nproc)"

step() { printf '\n=== %s ===\n' "$1"; }

step "Installing what the tests need"
bash tests/install-deps.sh

step "Windows build (MinGW-w64)"
cmake --preset windows -DKUVERTPFEIL_WERROR=ON
cmake --build build/windows -j"$jobs"

step "Native build and tests, Windows tests under Wine, browser and package tests"
cmake -S . -B build/ci -DKUVERTPFEIL_WERROR=ON -DKUVERTPFEIL_BROWSER_TESTS=ON \
    -DKUVERTPFEIL_PACKAGE_TESTS=ON -DKUVERTPFEIL_WINDOWS_EXE="$PWD/build/windows/kuvertpfeil.exe"
cmake --build build/ci -j"$jobs"
ctest --test-dir build/ci --output-on-failure

step "Tests under AddressSanitizer and UBSan"
cmake -S . -B build/sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKUVERTPFEIL_WERROR=ON \
    -DKUVERTPFEIL_SANITIZE=ON
cmake --build build/sanitize -j"$jobs"
ctest --test-dir build/sanitize --output-on-failure

step "Fuzzing (libFuzzer, 60 seconds)"
CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKUVERTPFEIL_WERROR=ON -DKUVERTPFEIL_FUZZ=ON -DKUVERTPFEIL_TESTS=OFF
cmake --build build/fuzz -j"$jobs"
if ! ctest --test-dir build/fuzz -V >build/fuzz/fuzz.log 2>&1; then
    tail -n 80 build/fuzz/fuzz.log
    exit 1
fi
grep -E 'stat::|tests passed' build/fuzz/fuzz.log

step "Static analysis"
bash tests/static-analysis.sh
