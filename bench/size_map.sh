#!/usr/bin/env bash
# The executable's size map: builds the x86-64 game and the i686 comparison build, then
# bench/size_map.py [number of largest symbols to list, default 20]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh bench
scripts/build.sh win --target korvastil >/dev/null   # the packed game, its parts beside it
scripts/build.sh win32 --target korvastil >/dev/null
python3 bench/size_map.py "$@"
