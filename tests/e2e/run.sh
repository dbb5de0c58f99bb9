#!/usr/bin/env bash
# Runs one end-to-end script in the Wine environment: tests/e2e/run.sh play.py [args]
set -uo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
cd "$root"
KORVA_QUIET=1 . scripts/wine-env.sh
PYTHONPATH="$root/scripts" python3 "tests/e2e/$1" "${@:2}"   # the player (scripts/player.py)
rc=$?
[ -n "${KORVA_XVFB_PID:-}" ] && korva_wine_stop
exit $rc
