#!/usr/bin/env python3
"""Every display option: full screen and windowed, "WaitRetrace" and "StupidZbuffert"
on and off, and the 16-bit mode Wine offers beside the 32-bit one. Each runs frames,
shows the uncle, and quits cleanly."""
import time

from harness import (Checks, brightness, differ, ends_with, no_game_left, again_if_killed,
                     press_start, run, shot, start, stop)

check = Checks("options")
# (windowed, WaitRetrace, StupidZbuffert, mode row): each option both ways.
combinations = [
    (False, True, False, 0),
    (False, False, True, 0),
    (True, True, True, 0),
    (True, False, False, 0),
    (False, True, False, 1),
    (True, False, True, 1),
]
def play(windowed, retrace, stupid, row, name, report):
    game, setup = start("options", windowed, retrace, stupid, row)
    try:
        if not report("%s: setup" % name, setup is not None):
            return None
        main = press_start(setup)
        time.sleep(3)
        first = shot("options-a")
        time.sleep(0.4)
        second = shot("options-b")
        report("%s: the uncle shows" % name, brightness(first) > 0.03)
        report("%s: frames run" % name, differ(first, second))
        run("xdotool", "key", "--window", main, "Escape")
        return ends_with(game, 10)
    finally:
        stop(game)


for windowed, retrace, stupid, row in combinations:
    name = "%s, WaitRetrace %s, StupidZbuffert %s, %s" % (
        "windowed" if windowed else "full screen", "on" if retrace else "off",
        "on" if stupid else "off", "16 bpp" if row else "32 bpp")
    code = again_if_killed(lambda: play(windowed, retrace, stupid, row, name, check))
    check("%s: quits with exit code 0 (got %s)" % (name, code), code == 0)
    check("%s: no process left" % name, no_game_left())
check.finish()
