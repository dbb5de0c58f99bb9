#!/usr/bin/env bash
# The game from the setup window to the music, as a player would go: under Wine on
# the (virtual) display of the Wine environment.
#   tests/e2e/intro.sh fullscreen|windowed
# Screenshots go to build/screens/e2e-MODE-*.png. Prints one line per check and
# "e2e MODE: N passed, N failed" last; exits non-zero on any failure.
set -uo pipefail
mode="${1:?usage: intro.sh fullscreen|windowed}"
root="$(cd "$(dirname "$0")/../.." && pwd)"
cd "$root"
KORVA_QUIET=1 . scripts/wine-env.sh
shots="$root/build/screens"
mkdir -p "$shots"
rm -f "$shots/e2e-$mode-"*.png
export KORVA_AUDIO_FILE="$root/build/screens/e2e-$mode-audio.raw"
rm -f "$KORVA_AUDIO_FILE"

passed=0; failed=0
check() {  # check NAME COMMAND...
  local name="$1"; shift
  if "$@"; then echo "PASS: $name"; passed=$((passed + 1)); else echo "FAIL: $name"; failed=$((failed + 1)); fi
}
finish() {
  [ -n "${game:-}" ] && kill -0 "$game" 2>/dev/null && kill "$game" 2>/dev/null
  [ -n "${KORVA_XVFB_PID:-}" ] && korva_wine_stop
  echo "e2e $mode: $passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit $?
}
shot() { import -window root "$shots/e2e-$mode-$1.png" 2>/dev/null; }
# Mean brightness of a screenshot, 0..1.
brightness() { convert "$shots/e2e-$mode-$1.png" -colorspace Gray -format '%[fx:mean]' info:; }
lit() { awk -v b="$(brightness "$1")" 'BEGIN { exit !(b > 0.03) }'; }
differ() {
  local ae
  ae=$(compare -metric AE "$shots/e2e-$mode-$1.png" "$shots/e2e-$mode-$2.png" null: 2>&1 | cut -d' ' -f1)
  [ "${ae%.*}" -gt 2000 ] 2>/dev/null
}
# Waits up to $2 seconds for a window titled $1 and prints its id.
await_window() {
  local i
  for i in $(seq $(( $2 * 10 ))); do
    id=$(xdotool search --name "$1" 2>/dev/null | head -n 1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}
click_at() { xdotool mousemove "$1" "$2" sleep 0.2 click 1; }

"$KORVA_WINE" build/win/korvastil.exe 2>/dev/null &
game=$!

setup=$(await_window "Direct device setup" 60) || { check "the setup window appears" false; finish; }
check "the setup window appears" true
sleep 0.5
import -window "$setup" "$shots/e2e-$mode-setup.png" 2>/dev/null
shot setup-screen
if [ "$mode" = windowed ]; then
  xdotool mousemove --window "$setup" 12 198 click 1  # "Windowed"
  sleep 0.3
fi
xdotool mousemove --window "$setup" 127 265 click 1  # "Start"
main=$(await_window "Korvastil is mad" 30)
check "Start opens the game window" test -n "$main"

sleep 3
shot title
check "the title screen shows the lit sphere, its rays and the text" lit title
sleep 0.3
shot title-later
check "the title screen moves" differ title title-later

click_at 320 240  # a click skips to the briefing screen
sleep 1.5
shot briefing
check "a click shows the briefing screen" differ title-later briefing
check "the briefing screen is drawn" lit briefing

click_at 320 240  # and another starts the music
sleep 3
size=$(stat -c %s "$KORVA_AUDIO_FILE" 2>/dev/null || echo 0)
check "the music plays (captured $size bytes)" test "$size" -gt 176400
if [ -x build/native/xm2wav ]; then
  build/native/xm2wav assets/song.xm "$shots/e2e-$mode-song.wav" --seconds 2 >/dev/null
  check "what the device played is the song from its start" \
    cmp -s -n 352800 "$KORVA_AUDIO_FILE" <(tail -c +45 "$shots/e2e-$mode-song.wav")
fi

xdotool key --window "$main" Escape
for i in $(seq 100); do kill -0 "$game" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$game" 2>/dev/null; then
  check "Escape ends the program" false
else
  wait "$game"; rc=$?
  check "Escape ends the program with exit code 0 (got $rc)" test "$rc" -eq 0
fi
finish
