#!/usr/bin/env bash
# Start-up times of the game under Wine: bench/startup.sh [runs, default 5]
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
scripts/deps.sh bench
scripts/build.sh win --target korvastil >/dev/null || exit 1   # both: the packed one from the unpacked
KORVA_QUIET=1 . scripts/wine-env.sh
python3 bench/startup.py "$@"
rc=$?
[ -n "${KORVA_XVFB_PID:-}" ] && korva_wine_stop
exit $rc
