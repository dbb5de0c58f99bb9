#!/usr/bin/env bash
# Where a frame's time goes: the game, and builds that leave one part of the game thread's
# frame out, windowed, WaitRetrace off. For each: frames per second, and the CPU time per
# frame of the threads that do the drawing (Wine's command stream, llvmpipe, the X server;
# not the game thread, which spins while it waits for them). A part's cost is what leaving
# it out saves. bench/frame_profile.sh [seconds per build, default 40]
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
seconds="${1:-40}"
scripts/deps.sh bench
parts=(nothing text uncle targets refill everything)
scripts/build.sh win $(printf -- '--target korvastil_without_%s ' "${parts[@]}") >/dev/null || exit 1
KORVA_QUIET=1 . scripts/wine-env.sh
declare -A rate work
for part in "${parts[@]}"; do
  out=$(python3 bench/frame_rate.py --windowed --seconds "$seconds" --exe "build/win/korvastil_without_$part.exe")
  echo "without $part:"; echo "$out" | sed 's/^/  /'
  rate[$part]=$(echo "$out" | sed -nE 's/.*: ([0-9.]+) frames per second.*/\1/p' | head -1)
  # Everything but the game thread's own time.
  work[$part]=$(echo "$out" | grep "CPU per frame" | sed 's/.*(ms): //' | tr ',' '\n' |
                awk '!/game thread/ { s += $NF } END { print s }')
done
[ -n "${KORVA_XVFB_PID:-}" ] && korva_wine_stop
echo
printf '%-22s %8s %11s %17s %15s\n' 'left out' 'fps' 'frame (ms)' 'drawing CPU (ms)' 'saved CPU (ms)'
for part in "${parts[@]}"; do
  awk -v p="$part" -v r="${rate[$part]}" -v w="${work[$part]}" -v w0="${work[nothing]}" 'BEGIN {
    printf "%-22s %8.1f %11.3f %17.3f %15s\n", p, r, 1000 / r, w, (p == "nothing") ? "" : sprintf("%.3f", w0 - w) }'
done
