#!/usr/bin/env python3
"""Quit from every state, by Escape and by closing the window: each ends the program with
exit code 0 within the time the state allows (the interlude and the death screen run to
their end first), the music stops, and no process is left behind."""
import os
import time

from harness import (SHOTS, WINE_TEARDOWN_KILL, Checks, brightness, clear_level, empty_spot,
                     ends_with, fire, no_game_left, once_more_if_killed, press_start, run, shot,
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
        return code  # run once more by the caller
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
        if once_more_if_killed(close_setup) == WINE_TEARDOWN_KILL:
            check("setup window, close: exit code 0 (killed twice)", False)

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
        if once_more_if_killed(quit_state) == WINE_TEARDOWN_KILL:
            check("%s, %s: exit code 0 (killed twice)" % (state, way), False)

# The interlude and the death screen run to their end before the quit is honoured.
def quit_in_interlude():
    game, setup = start("states")
    try:
        main = press_start(setup)
        skip_intro()
        interlude = clear_level(1, lambda what, ok: ok)
        if not check("interlude reached", interlude is not None):
            return None
        quit_by("Escape", main)
        began = time.time()
        code = ends_with(game, 15)
        if code == WINE_TEARDOWN_KILL:
            return code  # run once more
        check("interlude, Escape: exit code 0 after the interlude (got %s after %.1f s)"
              % (code, time.time() - began), code == 0 and time.time() - began > 3)
        return code
    finally:
        stop(game)
        check("interlude: no process left", no_game_left())


def close_in_death_screen():
    game, setup = start("states")
    try:
        main = press_start(setup)
        skip_intro()
        x, y = empty_spot(1)
        fire(x, y, 1.5)
        time.sleep(0.5)
        if not check("death screen reached", brightness(shot("states-death")) > 0.8):
            return None
        quit_by("close", main)
        began = time.time()
        code = ends_with(game, 10)
        if code == WINE_TEARDOWN_KILL:
            return code  # run once more
        check("death screen, close: exit code 0 after the screen (got %s after %.1f s)"
              % (code, time.time() - began), code == 0 and time.time() - began > 2)
        return code
    finally:
        stop(game)
        check("death screen: no process left", no_game_left())


if once_more_if_killed(quit_in_interlude) == WINE_TEARDOWN_KILL:
    check("interlude, Escape: exit code 0 after the interlude (killed twice)", False)
if once_more_if_killed(close_in_death_screen) == WINE_TEARDOWN_KILL:
    check("death screen, close: exit code 0 after the screen (killed twice)", False)
check.finish()
