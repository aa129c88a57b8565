#!/usr/bin/env bash
# Installs what the tests need, the missing parts only, from Debian's
# packages and npm: enough for a minimal Debian 12 with g++, CMake and make.
set -euo pipefail

packages=(cmake g++ make googletest libgtest-dev python3 tidy chromium
    firefox-esr fonts-liberation fonts-dejavu-core
    g++-mingw-w64-x86-64 wine wine64
    clang libclang-rt-dev clang-format clang-tidy cppcheck
    man-db groff-base dpkg-dev file lintian devscripts mutt neomutt alpine thunderbird
    kmail akonadi-backend-sqlite
    php-cli php-cgi roundcube-core roundcube-sqlite3 dovecot-imapd
    xdg-utils xvfb xdotool x11-apps)
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
    # Roundcube: the web mail test brings its own configuration and SQLite
    # file, so dbconfig sets up no database and no web server is configured.
    # php-cgi is named so that PHP comes without Apache's module.
    debconf-set-selections <<'EOF'
roundcube-core roundcube/dbconfig-install boolean false
roundcube-core roundcube/reconfigure-webserver multiselect
roundcube-core roundcube/restart-webserver boolean false
EOF
    # No service starts while installing (Dovecot would take port 143): the
    # tests start their own servers. A policy already there stays as it is.
    policy=/usr/sbin/policy-rc.d own_policy=
    if [[ ! -e $policy ]]; then
        own_policy=1
        trap 'rm -f "$policy"' EXIT
        printf '#!/bin/sh\nexit 101\n' >"$policy"
        chmod 755 "$policy"
    fi
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
    if [[ $own_policy ]]; then
        rm -f "$policy"
        trap - EXIT
    fi
fi

# puppeteer-core drives Debian's chromium and firefox-esr; it downloads no
# browser of its own. The page asks for Arial: fonts-liberation's Liberation Sans
# has its metrics, so the button keeps its size without the recommended fonts.
npm ci --prefix "$(dirname "$0")/browser" --no-audit --no-fund
