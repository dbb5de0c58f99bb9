#!/usr/bin/env python3
"""Long play under Wine, as a player: random and aimed shots for the given minutes (levels
are cleared, deaths happen), then Escape. Reports whether the game kept running and quit
cleanly, its working set over time, and what the sound device played against the song:
the silences the output path inserted (heard as crackles), per minute.
Usage: bench/longplay.sh [--minutes N] [--csmt on|off]"""
import argparse
import os
import random
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts"))
from player import (RATE, H, W, Checks, recording, check_song, clock_units, ends_with, fire,  # noqa: E402
                     our_games, press_start, quit_by, skip_intro, start, stop, target_box)

options = argparse.ArgumentParser()
options.add_argument("--minutes", type=float, default=5.0)
options.add_argument("--csmt", choices=("on", "off"), default=None,
                     help="Direct3D's command-stream thread (default: as ./run sets it)")
args = options.parse_args()


def set_csmt(on):
    subprocess.run(["wine", "reg", "add", r"HKCU\Software\Wine\Direct3D", "/v", "csmt", "/t", "REG_DWORD",
                    "/d", "1" if on else "0", "/f"], capture_output=True)


if args.csmt:
    set_csmt(args.csmt == "on")
check = Checks("longplay")
random.seed(7)


def resident_kib(pid):
    with open("/proc/%d/status" % pid) as f:
        return next(int(line.split()[1]) for line in f if line.startswith("VmRSS:"))


sound = recording("longplay")
game, setup = start()
samples, shots = [], 0
try:
    main = press_start(setup)
    skip_intro()
    began = time.time()
    while time.time() - began < args.minutes * 60 and game.poll() is None:
        if len(samples) * 10 <= time.time() - began:
            samples.append(resident_kib(game.pid))
        if random.random() < 0.5:
            fire(random.randrange(W), random.randrange(H))
        else:  # along a target's path at level 1
            x, y, _ = target_box(random.randrange(20), 0.7 * (clock_units() + 0.015))
            fire(min(max(x, 1), W - 1), min(max(y, 1), H - 1))
        shots += 1
        time.sleep(random.uniform(0.05, 0.6))
    check("the game ran %.1f minutes (%d shots)" % (args.minutes, shots), game.poll() is None)
    later = samples[6:] or samples
    print("working set: %d KiB at 1 min, at most %d KiB, %d KiB at the end" % (later[0], max(later), later[-1]))
    quit_by("Escape", main)
    code = ends_with(game, 20)
    check("Escape ends it with exit code 0 (got %s)" % code, code == 0)
finally:
    stop(game)
    check("no process left", not our_games())
    played = sound()
    check_song(check, played, "longplay", 60 * args.minutes * 0.9)
if args.csmt:
    set_csmt(False)  # the environment's own setting again
check.finish()
