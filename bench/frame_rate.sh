#!/usr/bin/env bash
# The game's frame rate under Wine on a virtual display: bench/frame_rate.sh [--windowed] [...]
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
scripts/deps.sh bench
scripts/build.sh win --target korvastil >/dev/null
KORVA_QUIET=1 . scripts/wine-env.sh
python3 bench/frame_rate.py "$@"
rc=$?
[ -n "${KORVA_XVFB_PID:-}" ] && korva_wine_stop
exit $rc
