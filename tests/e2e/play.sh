#!/usr/bin/env bash
# Plays the game under Wine on the virtual display (tests/e2e/play.py).
set -uo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
cd "$root"
KORVA_QUIET=1 . scripts/wine-env.sh
mkdir -p build/screens
export KORVA_AUDIO_FILE="$root/build/screens/e2e-play-audio.raw"
python3 tests/e2e/play.py build/screens
rc=$?
[ -n "${KORVA_XVFB_PID:-}" ] && korva_wine_stop
exit $rc
