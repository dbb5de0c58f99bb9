#!/usr/bin/env bash
# ./run on a machine with no display: it says so, plays on a virtual display, keeps
# screenshots, and ends with the game's exit code. Prints "e2e headless: N passed, N failed".
set -uo pipefail
cd "$(dirname "$0")/../.."
passed=0; failed=0
check() { if eval "$2"; then echo "PASS: $1"; passed=$((passed + 1)); else echo "FAIL: $1"; failed=$((failed + 1)); fi; }

# Wine processes of one prefix share one server, whose desktop belongs to the display
# it started on: end any earlier session so that ./run's display is the desktop's.
WINEPREFIX="$PWD/build/wine/prefix" wineserver -k 2>/dev/null
WINEPREFIX="$PWD/build/wine/prefix" wineserver -w 2>/dev/null
log=$(mktemp)
(unset DISPLAY; exec ./run) >"$log" 2>&1 &
runner=$!
display=""
for _ in $(seq 600); do
  display=$(sed -n 's/.*virtual display (\(:[0-9]*\)).*/\1/p' "$log" | head -n 1)
  [ -n "$display" ] && break
  sleep 0.1
done
check "./run says there is no display and names the virtual one" '[ -n "$display" ]'
if [ -n "$display" ]; then
  setup=""
  for _ in $(seq 600); do
    setup=$(DISPLAY=$display xdotool search --name "Direct device setup" 2>/dev/null | head -n 1)
    [ -n "$setup" ] && break
    sleep 0.1
  done
  check "the setup window opens on it" '[ -n "$setup" ]'
  DISPLAY=$display xdotool mousemove --window "$setup" 127 265 click 1
  sleep 12
  main=$(DISPLAY=$display xdotool search --name "Korvastil is mad" 2>/dev/null | head -n 1)
  DISPLAY=$display xdotool key --window "$main" Escape
fi
for _ in $(seq 200); do kill -0 "$runner" 2>/dev/null || break; sleep 0.1; done
wait "$runner"; rc=$?
check "./run ends with the game's exit code 0 (got $rc)" '[ "$rc" -eq 0 ]'
shots=$(ls build/screens/run-*.png 2>/dev/null | wc -l)
check "./run saved screenshots ($shots) and said where" '[ "$shots" -ge 2 ] && grep -q "screenshot(s) in" "$log"'
[ "$failed" -eq 0 ] || { echo "--- ./run said:"; cat "$log"; }
rm -f "$log"
echo "e2e headless: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
