#!/usr/bin/env bash
# Installs what the tests need, then builds and runs every test: the native
# build (with the browser and package tests), the same tests under AddressSanitizer and
# UBSan, the Windows build under Wine, a timed fuzz run, and static analysis.
# Every stage runs, also after one has failed; a table of all of them ends
# the run, and the exit status is non-zero if any failed.
set -uo pipefail
cd "$(dirname "$0")/.."
jobs="$(nproc)"

install_deps() { bash tests/install-deps.sh; }

windows_build() {
    cmake --preset windows -DKUVERTPFEIL_WERROR=ON
    cmake --build build/windows -j"$jobs"
}

native_tests() {
    cmake -S . -B build/ci -DKUVERTPFEIL_WERROR=ON -DKUVERTPFEIL_BROWSER_TESTS=ON \
        -DKUVERTPFEIL_PACKAGE_TESTS=ON -DKUVERTPFEIL_WINDOWS_EXE="$PWD/build/windows/kuvertpfeil.exe"
    cmake --build build/ci -j"$jobs"
    ctest --test-dir build/ci --output-on-failure
}

sanitizer_tests() {
    cmake -S . -B build/sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKUVERTPFEIL_WERROR=ON \
        -DKUVERTPFEIL_SANITIZE=ON
    cmake --build build/sanitize -j"$jobs"
    ctest --test-dir build/sanitize --output-on-failure
}

fuzzing() {
    CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DKUVERTPFEIL_WERROR=ON -DKUVERTPFEIL_FUZZ=ON -DKUVERTPFEIL_TESTS=OFF
    cmake --build build/fuzz -j"$jobs"
    if ! ctest --test-dir build/fuzz -V >build/fuzz/fuzz.log 2>&1; then
        tail -n 80 build/fuzz/fuzz.log
        return 1
    fi
    grep -E 'stat::|tests passed' build/fuzz/fuzz.log
}

static_analysis() { bash tests/static-analysis.sh; }

names=()
results=()
seconds=()
failed=0

# Runs one stage in a subshell of its own, where errexit holds, and records it.
stage() {
    local name=$1 function=$2 start=$SECONDS status
    printf '\n=== %s ===\n' "$name"
    (set -e; "$function")
    status=$?
    names+=("$name")
    seconds+=($((SECONDS - start)))
    if ((status == 0)); then
        results+=(passed)
    else
        results+=("FAILED (exit $status)")
        failed=$((failed + 1))
    fi
}

stage "Installing what the tests need" install_deps
stage "Windows build (MinGW-w64)" windows_build
stage "Native build and tests, Windows tests under Wine, browser and package tests" native_tests
stage "Tests under AddressSanitizer and UBSan" sanitizer_tests
stage "Fuzzing (libFuzzer, 60 seconds)" fuzzing
stage "Static analysis" static_analysis

printf '\n%-76s %-16s %7s\n' stage result seconds
for i in "${!names[@]}"; do
    printf '%-76s %-16s %7s\n' "${names[$i]}" "${results[$i]}" "${seconds[$i]}"
done
echo "stages: $((${#names[@]} - failed)) passed, $failed failed"
((failed == 0))
