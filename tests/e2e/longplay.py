#!/usr/bin/env python3
"""Long play: clicks at random and at targets for the given minutes (levels are cleared,
deaths happen), then Escape. Checks that the game never stops, that its working set
does not grow after the first minute, that the music never had a gap (everything the
device played equals the song rendered from its start) and that it quits cleanly.
Usage: longplay.py MINUTES"""
import os
import random
import subprocess
import sys
import time

from harness import (ROOT, SHOTS, W, H, Checks, clock_units, ends_with, fire, no_game_left,
                     press_start, run, skip_intro, start, stop, target_box)

minutes = float(sys.argv[1]) if len(sys.argv) > 1 else 1.0
check = Checks("longplay")
audio = os.path.join(SHOTS, "e2e-longplay-audio.raw")
random.seed(7)


def resident_kib(pid):
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


game, setup = start("longplay")
samples = []  # (seconds since play began, resident KiB)
try:
    if check("the setup window appears", setup is not None):
        main = press_start(setup)
        skip_intro()
        began = time.time()
        next_sample = 0.0
        level_guess = 1
        shots = 0
        while time.time() - began < minutes * 60:
            if game.poll() is not None:
                break
            elapsed = time.time() - began
            if elapsed >= next_sample:
                samples.append((elapsed, resident_kib(game.pid)))
                next_sample += 10.0
            if random.random() < 0.5:  # at random
                fire(random.randrange(W), random.randrange(H))
            else:  # at a target, along its path (right at level 1, a guess later)
                theta = 0.7 * level_guess * (clock_units() + 0.015)
                x, y, r = target_box(random.randrange(20), theta)
                if 0 < x < W and 0 < y < H:
                    fire(x, y)
            shots += 1
            time.sleep(random.uniform(0.05, 0.6))
        check("the game ran for %.1f minutes (%d shots) without stopping" % (minutes, shots),
              game.poll() is None)
        rss = [kib for t, kib in samples if kib is not None]
        after_first = [kib for t, kib in samples if kib is not None and t >= 60]
        if after_first:
            growth = max(after_first) - after_first[0]
            print("working set: %d KiB at 1 min, %d KiB at most after, %d KiB at the end"
                  % (after_first[0], max(after_first), after_first[-1]))
            check("the working set does not grow after the first minute (+%d KiB)" % growth,
                  growth <= max(2048, after_first[0] // 50))
        elif rss:
            print("working set: %d KiB (played under a minute)" % rss[-1])
        run("xdotool", "key", "--window", main, "Escape")
        code = ends_with(game, 20)
        check("Escape ends the program with exit code 0 (got %s)" % code, code == 0)

        # Everything the device played, against the song rendered from its start.
        played = os.path.getsize(audio) if os.path.exists(audio) else 0
        frames = played // 4
        reference = os.path.join(SHOTS, "e2e-longplay-song.wav")
        seconds = frames / 44100.0 + 1
        if os.path.exists(reference):
            os.remove(reference)
        rendered = subprocess.run([os.path.join(ROOT, "build", "native", "xm2wav"),
                                   os.path.join(ROOT, "assets", "song.xm"), reference,
                                   "--seconds", "%.2f" % seconds]).returncode == 0
        check("xm2wav renders the same %.0f seconds of the song" % seconds, rendered)
        # The device loops the ring once more after the thread stops: that last lap is
        # not the song's continuation, so the comparison ends two seconds before.
        compared = max(0, frames - 2 * 88400) * 4
        with open(audio, "rb") as a, open(reference if rendered else os.devnull, "rb") as b:
            b.seek(44)
            left, equal, offset = compared, True, 0
            while left > 0:
                n = min(left, 1 << 20)
                x, y = a.read(n), b.read(n)
                if x != y:
                    first = next((i for i in range(min(len(x), len(y))) if x[i] != y[i]), 0)
                    print("the sound differs from byte %d (%.2f s of audio)" % (offset + first, (offset + first) / 176400))
                    equal = False
                    break
                left -= n
                offset += n
        check("the music never had a gap: %.1f s of played sound equal the song" % (compared / 176400.0),
              equal and compared > 0)
finally:
    stop(game)
check("no process left", no_game_left())
check.finish()
