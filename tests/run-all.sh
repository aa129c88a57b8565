#!/usr/bin/env bash
# Installs what the tests need, then builds and runs every test: the native
# build, and the Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tests/install-deps.sh

cmake --preset windows -DKUVERTPFEIL_WERROR=ON
cmake --build build/windows -j"$(nproc)"

cmake -S . -B build/ci -DKUVERTPFEIL_WERROR=ON -DKUVERTPFEIL_BROWSER_TESTS=ON \
    -DKUVERTPFEIL_WINDOWS_EXE="$PWD/build/windows/kuvertpfeil.exe"
cmake --build build/ci -j"$(nproc)"
ctest --test-dir build/ci --output-on-failure
