#!/usr/bin/env bash
# Installs what the tests need, then builds and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tests/install-deps.sh

cmake -S . -B build/ci -DKUVERTPFEIL_WERROR=ON -DKUVERTPFEIL_BROWSER_TESTS=ON
cmake --build build/ci -j"$(nproc)"
ctest --test-dir build/ci --output-on-failure
