#!/usr/bin/env python3
"""Quit from every state, by Escape and by closing the window: each ends the program with
exit code 0 within the time the state allows (the death screen runs to its end first), the
music stops, and no process is left behind. With no sound output the game says so and ends
with exit code 1."""
import os
import subprocess
import time

from player import (RATE, Checks, recording, briefing_shows, click_middle, empty_spot,
                     ends_with, fire, our_games, press_start, quit_by, shot, skip_intro, start, stop,
                     title_shows, until, white, window)

check = Checks("states")


def reach(state):  # goes on to the state; what shows it, or None
    if state in ("title", "briefing"):
        title = until(title_shows, 20)
        if state == "title" or not title:
            return title
        click_middle()
        return until(briefing_shows, 10)
    if state == "no sound output":  # one message box says why, then a non-zero exit code
        return window("^Korvastil$", 30)
    if state in ("play", "death screen"):
        skip_intro()
    if state == "death screen":
        fire(*empty_spot(1), hold=1.5)
        return until(lambda: white(shot("states-death")), 3)
    return True


for state, way, seconds, lasts in (("setup window", "close", 5, 0),
                                   ("loading", "Escape", 5, 0), ("loading", "close", 5, 0),
                                   ("title", "Escape", 5, 0), ("title", "close", 5, 0),
                                   ("briefing", "Escape", 5, 0), ("briefing", "close", 5, 0),
                                   ("play", "Escape", 5, 0), ("play", "close", 5, 0),
                                   ("death screen", "close", 10, 2), ("no sound output", "Return", 15, 0)):
    name = "%s, %s" % (state, way)
    sound = recording("states") if state == "play" else None
    # Wine without its sound drivers has no device to open.
    game, setup = start(env={"WINEDLLOVERRIDES": os.environ.get("WINEDLLOVERRIDES", "") +
                             ";winepulse.drv,winealsa.drv=d"} if way == "Return" else None)
    try:
        if not check("%s: the setup window appears" % name, setup is not None):
            continue
        main = setup if state == "setup window" else press_start(setup)
        reached = main is not None and reach(state)
        if not check("%s: reached" % name, reached):
            continue
        quit_by(way, reached if way == "Return" else main)
        began = time.time()
        code = ends_with(game, seconds)
        took = time.time() - began
        check("%s: exit code %s within %g s%s (got %s after %.1f s)"
              % (name, "1" if way == "Return" else "0", seconds, ", once the screen has run" if lasts else "",
                 code, took), code == (1 if way == "Return" else 0) and took >= lasts)
    finally:
        stop(game)
        check("%s: no process left" % name, not our_games())
        if sound:
            time.sleep(0.5)
            played = sound()
            check("%s: the music stopped" % name, played.strip(b"\0") != b"" and played[-RATE:].count(0) == RATE)

# The packed game based elsewhere: the depacker moves every address of the image, and the
# game plays as before (a packed program is moved whenever Windows loads it elsewhere).
moved = os.path.join("build", "win", "moved", "korvastil.exe")
os.makedirs(os.path.dirname(moved), exist_ok=True)
packed = subprocess.run(["build/win/host/korvapack", "--base", "0x150000000", "build/win/korvastil-unpacked.exe",
                         "build/win/korvastil-depacker.exe", moved], capture_output=True).returncode == 0
check("moved elsewhere: packed for another base", packed)
game, setup = start(exe=moved) if packed else (None, None)
try:
    main = setup and press_start(setup)
    shown = bool(main) and until(title_shows, 20)
    check("moved elsewhere: the title screen shows", bool(shown))
    if shown:
        quit_by("Escape", main)
        check("moved elsewhere: Escape ends it with exit code 0", ends_with(game, 5) == 0)
finally:
    if game:
        stop(game)
check.finish()
