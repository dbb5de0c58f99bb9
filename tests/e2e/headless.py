#!/usr/bin/env python3
"""./run with no display plays the game itself: it says what it will do, goes through the setup
window and the intro, plays (the cubes drawn where the game puts them, the score read), quits by
itself with exit code 0 and leaves screenshots, a contact sheet and the sound it played, which
follows the song. Ctrl+C stops the game, Wine and the virtual display it started."""
import glob
import os
import signal
import subprocess
import time
import wave

from player import (ROOT, SHOTS, Checks, briefing_on, check_song, grey, our_games, run, score_on,
                     target_box, title_on, until)

SECONDS = 30
DEMO = os.path.join(ROOT, "build", "demo")
check = Checks("headless")
run("wineserver", "-k")  # the prefix's server belongs to the display it started on
run("wineserver", "-w")
without_display = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "KORVA_VIRTUAL_DISPLAY")}


def start(seconds, name):  # ./run in a session of its own, as from a terminal; (process, what it said)
    log = open(os.path.join(SHOTS, "e2e-%s.log" % name), "w+")
    runner = subprocess.Popen(["./run", "--seconds", str(seconds)], cwd=ROOT, env=without_display, stdout=log,
                              stderr=subprocess.STDOUT, start_new_session=True)
    return runner, lambda: log.seek(0) or log.read()


def ended(runner, seconds):  # its exit code; one that outlives `seconds` is ended with all it started
    try:
        return runner.wait(seconds)
    except subprocess.TimeoutExpired:
        os.killpg(runner.pid, signal.SIGKILL)
        run("wineserver", "-k")
        return "none within %d s" % seconds


def ours(program):  # the processes of this checkout's Wine environment with that name
    mine = "WINEPREFIX=" + os.environ.get("WINEPREFIX", "")
    return {pid for pid in run("pgrep", "-x", program).split()
            if mine in run("cat", "/proc/%s/environ" % pid).split("\0")}


def cubes_drawn(path, level):
    """Whether the screenshot shows lit pixels at the centre of (all but at most one of) the six or
    more target boxes the rules put on the screen at the moment it was taken: a frame drawn up to
    0.4 s before the file was written (the harness aims by the same clock)."""
    raw = time.time() - time.clock_gettime(time.CLOCK_MONOTONIC_RAW)  # the offset of the game's clock
    ms, rows = int((os.stat(path).st_mtime - raw) * 1000), grey(path, "640x480+0+0")
    for lag in range(0, -401, -25):
        theta = 0.7 * level * ((ms + lag) & 0xFFFFFFFF) * 0.0005
        centres = [(x, y) for x, y, _ in (target_box(i, theta) for i in range(20)) if 10 < x < 630 and 10 < y < 470]
        if len(centres) >= 6 and sum(rows[y][x] > 40 for x, y in centres) >= len(centres) - 1:
            return True
    return False


# --- A short run to its end ---
xvfb_before = ours("Xvfb")
runner, said = start(SECONDS, "headless-run")
code = ended(runner, SECONDS + 150)
lines = said().splitlines()
check("./run first says what it will do and that ./run --web serves the game to a browser (%r)" % lines[:4],
      len(lines) >= 4 and "play itself for %d seconds" % SECONDS in lines[0] and "./run --web" in "".join(lines[:4]))
check("it ends with the game's exit code 0 (got %s)" % code,
      code == 0 and "the game ended with exit code 0" in said())

shots = sorted(glob.glob(os.path.join(DEMO, "shot-*.png")))
check("it saved screenshots (%d) and said where" % len(shots),
      len(shots) >= SECONDS / 3 and "%d screenshots in %s" % (len(shots), DEMO) in said())
check("they show the title and the briefing", any(map(title_on, shots)) and any(map(briefing_on, shots)))
play = [(path, score) for path, score in ((path, score_on(path)) for path in shots) if score]
drawn = [path for path, (_, level) in play if cubes_drawn(path, level)]
# A hit earns 2000 and the score starts at 2000 (3000 after a death): above 3200, a cube was hit.
check("they show play: %d with the score read (%s; one above 3200 shows a hit), %d with the cubes where the game"
      " puts them" % (len(play), ", ".join(str(score) for _, (score, _) in play), len(drawn)),
      len(play) >= 3 and max(score for _, (score, _) in play) > 3200 and drawn)

sheet = os.path.join(DEMO, "contact-sheet.png")
size = run("identify", "-format", "%w %h", sheet).split()
rows = -(-len(shots) // 5)
check("a contact sheet of them, five 213x160 a row with their times (%s), and it said where" % size,
      size and int(size[0]) == 5 * 221 and int(size[1]) >= rows * 168 and "contact sheet: " + sheet in said())

with wave.open(os.path.join(DEMO, "sound.wav")) as w:
    fmt, played = (w.getnchannels(), w.getsampwidth(), w.getframerate()), w.readframes(w.getnframes())
check("the sound saved as 16-bit stereo at 44,100 Hz (%s)" % (fmt,), fmt == (2, 2, 44100))
# The music starts when the briefing is clicked away, 8 to 14 s into the run (more on a busy machine).
check_song(check, played, "headless", SECONDS - 18)
if check.failed:
    print("--- ./run said:\n" + said())

# --- Ctrl+C as play goes on ---
runner, said = start(60, "headless-interrupt")
playing = until(lambda: "pressed Start" in said() or runner.poll() is not None, 90, 0.5) and runner.poll() is None
if check("a longer run starts playing", playing):
    time.sleep(3)
    os.killpg(runner.pid, signal.SIGINT)  # as a terminal sends it
    began = time.time()
    code = ended(runner, 20)
    check("Ctrl+C ends it with exit code 130 within 20 s (got %s after %.1f s)" % (code, time.time() - began),
          code == 130)
    check("the game, Wine and the virtual display it started are gone",
          not our_games() and not ours("wineserver") and not ours("wineserver64") and ours("Xvfb") == xvfb_before)
if check.failed:
    print("--- ./run said:\n" + said())
check.finish()
