#!/usr/bin/env python3
"""The screens in every display option: full screen and windowed, "WaitRetrace" and
"StupidZbuffert" on and off, 32 and 16 bits per pixel. Each shows the uncle, runs frames and
quits cleanly; the default full screen and a window also go from the setup window through
the title and briefing screens to the music, which must be the song from its start."""
import time

from harness import (RATE, Checks, Recording, briefing_shows, check_song, click_middle, differ, ends_with,
                     no_game_left, press_start, quit_by, run, shot, start, stop, title_shows,
                     uncle_and_rays, until)

check = Checks("screens")


def intro(name):
    """The title and briefing screens, a click each, then the music."""
    title = until(title_shows, 20)
    uncle, rays = uncle_and_rays(title) if title else (0, 0)
    check("%s: the title screen shows the textured uncle (%.3f) and his rays (%.3f)" % (name, uncle, rays),
          uncle > 0.005 and rays > 0.005)
    time.sleep(0.3)
    check("%s: the title screen moves" % name, title is not None and differ(title, shot("title-later")))
    click_middle()
    check("%s: a click shows the briefing screen" % name, until(briefing_shows, 10) is not None)
    click_middle()
    time.sleep(4)


# (windowed, WaitRetrace, StupidZbuffert, mode row, through the intro): each option both ways.
for windowed, retrace, stupid, row, whole in ((False, True, False, 0, True), (True, True, False, 0, True),
                                              (False, False, True, 0, False), (True, False, True, 0, False),
                                              (False, True, False, 1, False), (True, False, True, 1, False)):
    name = "%s, WaitRetrace %s, StupidZbuffert %s, %s" % (
        "windowed" if windowed else "full screen", "on" if retrace else "off",
        "on" if stupid else "off", "16 bpp" if row else "32 bpp")
    sound = Recording("screens") if whole else None
    game, setup = start(windowed, retrace, stupid, row)
    try:
        if not check("%s: the setup window appears" % name, setup is not None):
            continue
        if whole:
            shot("setup-screen")
            run("import", "-window", setup, shot("setup"))
        main = press_start(setup)
        check("%s: Start opens the game window" % name, main is not None)
        if whole:
            intro(name)
        first = until(lambda: (lambda p: uncle_and_rays(p)[0] > 0.005 and p)(shot("screens-a")), 20)
        time.sleep(0.4)
        check("%s: the uncle shows and frames run" % name, first is not None and differ(first, shot("screens-b")))
        quit_by("Escape", main)
        code = ends_with(game, 10)
        check("%s: Escape ends it with exit code 0 (got %s)" % (name, code), code == 0)
    finally:
        stop(game)
        check("%s: no process left" % name, no_game_left())
        if sound:
            check_song(check, sound.stop(), name, 3.0, tail=RATE // 10)
check.finish()
