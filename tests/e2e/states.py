#!/usr/bin/env python3
"""Quit from every state, by Escape and by closing the window: each ends the program with
exit code 0 within the time the state allows (the interlude and the death screen run to
their end first), the music stops, and no process is left behind."""
import os
import time

from harness import (SHOTS, WINE_TEARDOWN_KILL, Checks, brightness, clear_level, empty_spot,
                     ends_with, fire, no_game_left, again_if_killed, press_start, run, shot,
                     skip_intro, start, stop)

check = Checks("states")


def quit_by(way, target):
    if way == "Escape":
        run("xdotool", "key", "--window", target, "Escape")
    else:  # the system's close keystroke: WM_CLOSE, then WM_DESTROY
        run("xdotool", "key", "--window", target, "alt+F4")


def expect_exit(game, what, seconds, audio=None):
    began = time.time()
    code = ends_with(game, seconds)
    took = time.time() - began
    if code == WINE_TEARDOWN_KILL:
        return code  # run again by the caller
    check("%s: exit code 0 within %g s (got %s after %.1f s)" % (what, seconds, code, took), code == 0)
    time.sleep(0.3)
    check("%s: no process left" % what, no_game_left())
    if audio and os.path.exists(audio):
        size = os.path.getsize(audio)
        time.sleep(1)
        check("%s: the music stopped" % what, os.path.getsize(audio) == size)
    return code


for way in ("Escape", "close"):
    # The setup window has no Escape; closing it is the way out.
    if way == "close":
        def close_setup():
            game, setup = start("states")
            try:
                quit_by(way, setup)
                return expect_exit(game, "setup window, close", 5)
            finally:
                stop(game)
        if again_if_killed(close_setup) == WINE_TEARDOWN_KILL:
            check("setup window, close: exit code 0 (killed three times)", False)

    for state in ("loading", "title", "briefing", "play"):
        def quit_state(state=state):
            name = "%s, %s" % (state, way)
            game, setup = start("states")
            try:
                main = press_start(setup)
                if state == "title":
                    time.sleep(2.5)
                elif state == "briefing":
                    time.sleep(2.5)
                    run("xdotool", "mousemove", "320", "240", "sleep", "0.2", "click", "1")
                    time.sleep(1)
                elif state == "play":
                    skip_intro()
                quit_by(way, main)
                audio = os.path.join(SHOTS, "e2e-states-audio.raw") if state == "play" else None
                return expect_exit(game, name, 5, audio)
            finally:
                stop(game)
        if again_if_killed(quit_state) == WINE_TEARDOWN_KILL:
            check("%s, %s: exit code 0 (killed three times)" % (state, way), False)

# The interlude and the death screen run to their end before the quit is honoured.
def reach_interlude():
    return clear_level(1, lambda what, ok: ok) is not None


def reach_death_screen():
    x, y = empty_spot(1)
    fire(x, y, 1.5)
    time.sleep(0.5)
    return brightness(shot("states-death")) > 0.8


def quit_during(name, reach, way, seconds, lasts):
    """Reaches a screen, quits by way, and expects exit code 0 only after the screen's
    remaining time (more than lasts seconds) and within seconds."""
    game, setup = start("states")
    try:
        main = press_start(setup)
        skip_intro()
        if not check("%s reached" % name, reach()):
            return None
        quit_by(way, main)
        began = time.time()
        code = ends_with(game, seconds)
        if code == WINE_TEARDOWN_KILL:
            return code  # run again
        took = time.time() - began
        check("%s, %s: exit code 0 after the screen (got %s after %.1f s)" % (name, way, code, took),
              code == 0 and took > lasts)
        return code
    finally:
        stop(game)
        check("%s: no process left" % name, no_game_left())


for name, reach, way, seconds, lasts in (("interlude", reach_interlude, "Escape", 15, 3),
                                         ("death screen", reach_death_screen, "close", 10, 2)):
    if again_if_killed(lambda: quit_during(name, reach, way, seconds, lasts)) == WINE_TEARDOWN_KILL:
        check("%s, %s: exit code 0 after the screen (killed three times)" % (name, way), False)
check.finish()
