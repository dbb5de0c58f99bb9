#!/usr/bin/env python3
"""A whole game as a player plays it: aim along the targets' paths, read the score from
the screen, clear a level, die on purpose, quit."""
import time

from harness import (Checks, brightness, clear_level, empty_spot, ends_with, fire, press_start,
                     read_score_surely, shot, skip_intro, start, stop, run)

check = Checks("play")
game, setup = start("play")
try:
    if check("the setup window appears", setup is not None):
        main = press_start(setup)
        skip_intro()
        first = read_score_surely()
        check("the game starts at level 1 with a score near 2000 (read %s)" % (first,),
              first is not None and first[1] == 1 and 1700 <= first[0] <= 2000)

        # Firing at nothing costs points: 100 a press and 200 a frame the button is held.
        # The screen shows it from the next frame on; the screenshot may be a frame or two
        # behind, so the reading is repeated for up to a second (the drain is 10 a second).
        x, y = empty_spot(1)
        before = read_score_surely()
        fire(x, y, 0.0)
        deadline = time.time() + 1.0
        while True:
            time.sleep(0.05)
            after = read_score_surely()
            fell = before is not None and after is not None and after[0] <= before[0] - 100
            if fell or time.time() > deadline:
                break
        check("the score falls while firing (%s -> %s)" % (before, after), fell)

        clear_level.hit_seen = False
        interlude = clear_level(1, check)
        if not clear_level.hit_seen:
            check("a hit raises the score", False)
        if check("clearing all twenty targets plays the level interlude", interlude is not None):
            time.sleep(1)
            shot("play-interlude")
            time.sleep(9.5)
            after = read_score_surely()
            check("the next level begins (read %s)" % (after,), after is not None and after[1] == 2)

        # Holding the button drains the score until the player dies.
        x, y = empty_spot(2)
        fire(x, y, 1.5)
        time.sleep(0.3)
        death = None
        for _ in range(30):
            path = shot("death-wait")
            if brightness(path) > 0.8:
                death = path
                break
            time.sleep(0.1)
        if check("falling below 200 shows the death screen", death is not None):
            time.sleep(1)
            shot("play-death")
            time.sleep(6)
            after = read_score_surely()
            check("play restarts at level 1 with 3000 (read %s)" % (after,),
                  after is not None and after[1] == 1 and 2800 <= after[0] <= 3000)

        run("xdotool", "key", "--window", main, "Escape")
        code = ends_with(game, 15)
        check("Escape ends the program with exit code 0 (got %s)" % code, code == 0)
finally:
    stop(game)
check.finish()
