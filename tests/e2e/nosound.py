#!/usr/bin/env python3
"""With no sound output to open, the game says so in one message box and ends with a
non-zero exit code instead of vanishing as if it had succeeded."""
import os
import tempfile
import time

from harness import Checks, ends_with, no_game_left, press_start, run, shot, start, stop, window

check = Checks("nosound")
config = tempfile.mkdtemp(prefix="korva-nosound-")
os.makedirs(os.path.join(config, "alsa"))
with open(os.path.join(config, "alsa", "asoundrc"), "w") as f:
    f.write('pcm.!default { type hw card 99 }\n')  # a card that does not exist
os.environ["XDG_CONFIG_HOME"] = config

game, setup = start("nosound")
try:
    if check("the setup window appears", setup is not None):
        press_start(setup)
        box = window("^Korvastil$", 30)
        if check("a message box says why", box is not None):
            time.sleep(0.5)
            shot("nosound")
            text = run("xdotool", "getwindowname", box)
            check("it is the game's box (%s)" % text, text == "Korvastil")
            run("xdotool", "key", "--window", box, "Return")
        code = ends_with(game, 15)
        check("the exit code is not 0 (got %s)" % code, code not in (None, 0))
finally:
    stop(game)
check("no process left", no_game_left())
check.finish()
