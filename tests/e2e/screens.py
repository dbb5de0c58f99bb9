#!/usr/bin/env python3
"""Every display option: full screen and windowed, "WaitRetrace" and "StupidZbuffert" on and
off, 32 and 16 bits per pixel. Each reaches the title screen with its textured uncle, runs
frames and quits cleanly."""
from player import (Checks, ends_with, our_games, pixels, press_start, quit_by, run, shot, start, stop,
                     title_shows, until)

check = Checks("screens")
for windowed, retrace, stupid, row in ((False, True, False, 0), (True, True, False, 0), (False, False, True, 0),
                                       (True, False, True, 0), (False, True, False, 1), (True, False, True, 1)):
    name = "%s, WaitRetrace %s, StupidZbuffert %s, %s" % (
        "windowed" if windowed else "full screen", "on" if retrace else "off",
        "on" if stupid else "off", "16 bpp" if row else "32 bpp")
    game, setup = start(windowed, retrace, stupid, row)
    try:
        if not check("%s: the setup window appears" % name, setup is not None):
            continue
        run("import", "-window", setup, shot("setup"))
        main = press_start(setup)
        title = main and until(title_shows, 20)
        check("%s: the title screen shows the textured uncle and moves" % name,
              title is not None and sum(a != b for a, b in zip(pixels(title), pixels(shot("title-later")))) > 2000)
        quit_by("Escape", main)
        code = ends_with(game, 10)
        check("%s: Escape ends it with exit code 0 (got %s)" % (name, code), code == 0)
    finally:
        stop(game)
        check("%s: no process left" % name, not our_games())
check.finish()
