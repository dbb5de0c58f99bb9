#!/usr/bin/env bash
# Where a frame's time goes: the game, and builds that leave one part of the game thread's
# frame out, windowed, WaitRetrace off. For each: frames per second, and the CPU time per
# frame of the threads that do the drawing (Wine's command stream, llvmpipe, the X server;
# not the game thread, which spins while it waits for them). A part's cost is what leaving
# it out saves. The builds take turns, round after round, so that a drift of the machine's
# speed falls on all of them alike.
#   bench/frame_profile.sh [seconds per run, default 20] [rounds, default 3]
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
seconds="${1:-20}"
rounds="${2:-3}"
scripts/deps.sh bench
parts=(nothing text uncle targets refill everything)
scripts/build.sh win $(printf -- '--target korvastil_without_%s ' "${parts[@]}") >/dev/null || exit 1
KORVA_QUIET=1 . scripts/wine-env.sh
results=$(mktemp)
for round in $(seq "$rounds"); do
  for part in "${parts[@]}"; do
    out=$(python3 bench/frame_rate.py --windowed --seconds "$seconds" --exe "build/win/korvastil_without_$part.exe")
    rate=$(echo "$out" | sed -nE 's/.*: ([0-9.]+) frames per second.*/\1/p' | head -1)
    # Everything but the game thread's own time.
    work=$(echo "$out" | grep "CPU per frame" | sed 's/.*(ms): //' | tr ',' '\n' |
           awk '!/game thread/ { s += $NF } END { print s }')
    echo "round $round, without $part: $rate frames per second, drawing CPU $work ms per frame"
    echo "$part $rate $work" >> "$results"
  done
done
[ -n "${KORVA_XVFB_PID:-}" ] && korva_wine_stop
echo
printf '%-12s %22s %11s %18s %15s\n' 'left out' 'fps: mean (min-max)' 'frame (ms)' 'drawing CPU (ms)' 'saved CPU (ms)'
for part in "${parts[@]}"; do
  awk -v p="$part" '
    $1 == p { n++; r += $2; w += $3; if (!lo || $2 < lo) lo = $2; if ($2 > hi) hi = $2 }
    $1 == "nothing" { n0++; w0 += $3 }
    END { printf "%-12s %8.1f (%5.1f-%5.1f) %11.3f %18.3f %15s\n", p, r / n, lo, hi, 1000 * n / r, w / n,
                 (p == "nothing") ? "" : sprintf("%.3f", w0 / n0 - w / n) }' "$results"
done
rm -f "$results"
