#!/usr/bin/env bash
# The mixer benchmark: wall-time table (median of 5), then instructions per output
# frame under callgrind (stable on a shared machine): a 20-second render minus a
# load-only run, divided by the frames.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh bench
scripts/build.sh native --target mixer_bench >/dev/null
out=build/bench
mkdir -p "$out"
bin=build/native/mixer_bench
"$bin" "$out"
echo
printf '%-10s %-11s %22s\n' file engine 'instructions / frame'
for file in song dense; do
  for engine in korvastil libxmp libopenmpt; do
    count() {
      valgrind --tool=callgrind --callgrind-out-file=/dev/null "$bin" "$out" "$engine" "$file" "$1" 2>&1 |
        sed -n 's/.*Collected : \([0-9]*\).*/\1/p'
    }
    full=$(count 20); base=$(count 0)
    printf '%-10s %-11s %22.0f\n' "$file" "$engine" "$(echo "($full - $base) / (20 * 44100)" | bc -l)"
  done
done
