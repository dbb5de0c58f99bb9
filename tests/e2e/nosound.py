#!/usr/bin/env python3
"""With no sound output to open, the game says so in one message box and ends with a
non-zero exit code instead of vanishing as if it had succeeded."""
import os
import time

from harness import Checks, ends_with, no_game_left, press_start, run, shot, start, stop, window

check = Checks("nosound")
# Wine without its sound drivers: no device to open.
game, setup = start(env={"WINEDLLOVERRIDES": os.environ.get("WINEDLLOVERRIDES", "") +
                         ";winepulse.drv,winealsa.drv=d"})
try:
    if check("the setup window appears", setup is not None):
        press_start(setup)
        box = window("^Korvastil$", 30)
        if check("a message box says why", box is not None):
            time.sleep(0.5)
            shot("nosound")
            run("xdotool", "key", "--window", box, "Return")
        code = ends_with(game, 15)
        check("the exit code is not 0 (got %s)" % code, code not in (None, 0))
finally:
    stop(game)
check("no process left", no_game_left())
check.finish()
