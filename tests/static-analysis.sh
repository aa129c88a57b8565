#!/usr/bin/env bash
# clang-format, clang-tidy and cppcheck over the program's sources; any
# finding fails.
set -euo pipefail
cd "$(dirname "$0")/.."

sources=(src/*/*.cpp)
headers=(src/*/*.h)

# The layout: the link check stands apart from the driver and the link
# writers, no two headers include each other, and no source file but the
# table of character references passes 350 non-blank lines.
if grep -n '#include "\(driver\|link\)/' src/check/*; then
    echo "layout: src/check includes the driver or the link writers"; exit 1
fi
for header in "${headers[@]}"; do
    for included in $(sed -n 's/^#include "\(.*\)"/src\/\1/p' "$header"); do
        if grep -q "^#include \"${header#src/}\"" "$included"; then
            echo "layout: $header and $included include each other"; exit 1
        fi
    done
done
# A unit is a header and its .cpp: no unit may include, through others, one
# that includes it back.
python3 - "${sources[@]}" "${headers[@]}" <<'EOF_PY'
import re, sys
uses = {}
for path in sys.argv[1:]:
    unit = path[len("src/"):].rsplit(".", 1)[0]
    with open(path) as f:
        uses.setdefault(unit, set()).update(
            u for u in re.findall(r'^#include "(.*)\.h"', f.read(), re.M) if u != unit)
def reaches(start, goal, seen):
    return any(u == goal or (u not in seen and not seen.add(u) and reaches(u, goal, seen))
               for u in uses.get(start, ()))
circles = [unit for unit in sorted(uses) if reaches(unit, unit, set())]
if circles:
    sys.exit("layout: these units include one that includes them back: " + ", ".join(circles))
EOF_PY
for file in "${sources[@]}" "${headers[@]}"; do
    if [[ $file != src/check/html_entities.cpp ]] && (($(grep -c . "$file") > 350)); then
        echo "layout: $file has more than 350 non-blank lines"; exit 1
    fi
done
echo "layout: clean"

clang-format --dry-run -Werror "${sources[@]}" "${headers[@]}" tests/unit/*.cpp tests/unit/*.h tests/common/*.h \
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
