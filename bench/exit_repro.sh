#!/usr/bin/env bash
# Counts how a Direct3D program's quits end under Wine while the machine is busy:
#   bench/exit_repro.sh [ROUNDS] [WAY...]     (default: 40 rounds of exit and terminate-settled)
# Each round runs bench/exit_repro.cpp once per way, the ways interleaved so they share the
# load. A quit should end with code 0; 137 is Wine's server killing a process whose Unix side
# had not gone within about half a second of its end, 139 a crash while its threads were
# being ended. Busy loops (one per core and one more) stand in for a loaded machine.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
rounds="${1:-40}"; shift || true
[ $# -gt 0 ] || set -- exit terminate-settled
scripts/build.sh win --target exit_repro >/dev/null || exit 1
KORVA_QUIET=1 . scripts/wine-env.sh
wineserver -p 60  # one server for all rounds, so that no round pays for starting it

busy=()
for _ in $(seq $(( $(nproc) + 1 ))); do
  timeout 3600 sh -c 'while :; do :; done' &
  busy+=($!)
done

declare -A ended
for round in $(seq "$rounds"); do
  for way in "$@"; do
    "$KORVA_WINE" build/win/exit_repro.exe "$way" 30 >/dev/null 2>&1
    code=$?
    ended[$way $code]=$(( ${ended[$way $code]:-0} + 1 ))
  done
  printf '\rround %d of %d' "$round" "$rounds" >&2
done
echo >&2
kill "${busy[@]}" 2>/dev/null
wait "${busy[@]}" 2>/dev/null
for key in "${!ended[@]}"; do echo "$key ${ended[$key]}"; done | sort |
  awk '{printf "%-20s exit code %-4s %d of '"$rounds"'\n", $1, $2, $3}'
[ -n "${KORVA_XVFB_PID:-}" ] && korva_wine_stop
exit 0
