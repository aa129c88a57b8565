#!/usr/bin/env bash
# Installs what the tests need, the missing parts only, from Debian's
# packages and npm: enough for a minimal Debian 12 with g++, CMake and make.
set -euo pipefail

packages=(cmake g++ make googletest libgtest-dev python3 tidy chromium
    firefox-esr fonts-liberation fonts-dejavu-core
    g++-mingw-w64-x86-64 wine wine64
    clang libclang-rt-dev clang-format clang-tidy cppcheck
    man-db groff-base dpkg-dev file lintian devscripts mutt alpine thunderbird)
# A Node.js from elsewhere brings its own npm; Debian's pair only where none is.
# The browser test runs on either: Debian 12's Node.js 18 or a newer one.
command -v npm >/dev/null || packages+=(nodejs npm)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing+=("$package")
done
if ((${#missing[@]})); then
    apt-get update
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi

# puppeteer-core drives Debian's chromium and firefox-esr; it downloads no
# browser of its own. The page asks for Arial: fonts-liberation's Liberation Sans
# has its metrics, so the button keeps its size without the recommended fonts.
npm ci --prefix "$(dirname "$0")/browser" --no-audit --no-fund
