#!/usr/bin/env bash
# clang-format, clang-tidy and cppcheck over the program's sources; any
# finding fails.
set -euo pipefail
cd "$(dirname "$0")/.."

sources=(src/*/*.cpp)
headers=(src/*/*.h)

clang-format --dry-run -Werror "${sources[@]}" "${headers[@]}" tests/unit/*.cpp tests/unit/*.h \
    tests/fuzz/*.cpp
echo "clang-format: clean"

# A plain (non-LTO) configuration, so that clang reads gcc's flags as its own.
cmake -S . -B build/tidy -DCMAKE_BUILD_TYPE=Debug -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
    -DKUVERTPFEIL_TESTS=OFF >/dev/null
clang-tidy --quiet -p build/tidy "${sources[@]}"
echo "clang-tidy: clean"

# Newer cppcheck follows only some branches unless told to follow all, and
# says so as a finding; older versions follow all and know no such option.
depth=()
if cppcheck --help | grep -- --check-level >/dev/null; then
    depth=(--check-level=exhaustive)
fi
cppcheck "${depth[@]}" --std=c++20 --language=c++ --enable=warning,style,performance,portability \
    --error-exitcode=1 --inline-suppr --quiet -I src src
echo "cppcheck: clean"
