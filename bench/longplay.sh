#!/usr/bin/env bash
# Long play under Wine with the sound recorded: bench/longplay.sh [--minutes N] [--csmt on|off] [--stall MS:S]
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test && scripts/build.sh native --target xm2wav >/dev/null && scripts/build.sh win --target korvastil >/dev/null || exit 1
KORVA_QUIET=1 . scripts/wine-env.sh
trap korva_wine_stop EXIT
python3 bench/longplay.py "$@"
