#!/usr/bin/env bash
# Installs the Debian packages the tests need, those missing only.
set -euo pipefail

packages=(cmake g++ make googletest libgtest-dev python3)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing+=("$package")
done
if ((${#missing[@]})); then
    apt-get update
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi
