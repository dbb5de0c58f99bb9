#!/usr/bin/env python3
"""Plays the game as a player would, under Wine on the virtual display.

Run through tests/e2e/play.sh (the Wine environment). It passes the setup window and
the intro, then aims at the targets along their known paths (the game's clock is the
system's millisecond counter, which Wine takes from the host's raw monotonic clock),
reads the score from the screen, clears a level, dies on purpose and quits.
Prints one line per check and "e2e play: N passed, N failed" last.
"""
import math
import os
import re
import subprocess
import sys
import time

W, H = 640, 480
SHOTS = sys.argv[1]
passed = failed = 0


def check(name, ok):
    global passed, failed
    print(("PASS: " if ok else "FAIL: ") + name, flush=True)
    if ok:
        passed += 1
    else:
        failed += 1
    return ok


def run(*args):
    return subprocess.run(args, capture_output=True, text=True).stdout.strip()


def clock_units():
    """ReadClock of the game: the 32-bit millisecond counter times 0.0005."""
    return (int(time.clock_gettime(time.CLOCK_MONOTONIC_RAW) * 1000) & 0xFFFFFFFF) * 0.0005


def target_box(i, theta):
    """Where target i is drawn and its hit box, as the game computes it."""
    a = theta + i
    x = 20 * i - 200 * math.sin(a)
    y = math.sin(theta) + 50 * math.sin(0.1 * i * (2 * i + theta))
    depth = 20 * i + 100
    return int(W * x / depth + W / 2), int(-(W * y) / depth + H / 2), int(W * 10 / depth)


def shot(name):
    path = os.path.join(SHOTS, "e2e-play-%s.png" % name)
    run("import", "-window", "root", path)
    return path


def brightness(path):
    return float(run("convert", path, "-colorspace", "Gray", "-format", "%[fx:mean]", "info:") or 0)


def read_score():
    """Score and level from the overlay line, or None when it cannot be read."""
    path = shot("ocr")
    crop = os.path.join(SHOTS, "e2e-play-ocr-line.png")
    run("convert", path, "-crop", "220x24+15+58", "+repage", "-colorspace", "Gray",
        "-threshold", "96%", "-negate", "-resize", "400%", crop)
    text = run("tesseract", crop, "stdout", "--psm", "7")
    m = re.search(r"(-?\d+)\D+(\d+)\s*$", text)
    return (int(m.group(1)), int(m.group(2))) if m else None


def white_screen_says(path):
    """The line at the middle of a white screen: the interlude's or the death screen's."""
    crop = os.path.join(SHOTS, "e2e-play-ocr-middle.png")
    run("convert", path, "-crop", "640x26+0+237", "+repage", "-colorspace", "Gray",
        "-threshold", "50%", "-resize", "300%", crop)
    return run("tesseract", crop, "stdout", "--psm", "7")


def read_score_surely(tries=5):
    for _ in range(tries):
        s = read_score()
        if s:
            return s
        time.sleep(0.1)
    return None


def fire(x, y, hold=0.008):
    run("xdotool", "mousemove", str(x), str(y), "mousedown", "1", "sleep", str(hold), "mouseup", "1")


def window(name, seconds):
    end = time.time() + seconds
    while time.time() < end:
        ids = run("xdotool", "search", "--name", name).split()
        if ids:
            return ids[0]
        time.sleep(0.1)
    return None


def aim(level, candidates, tried):
    """The candidate with the largest box well inside the screen, least tried first."""
    theta = 0.7 * level * (clock_units() + 0.015)
    best = None
    for i in candidates:
        x, y, r = target_box(i, theta)
        margin = min(x - r, W - x - r, y - r, H - y - r)
        if margin > 20:
            rank = (-tried[i], r)
            if best is None or rank > best[0]:
                best = (rank, i, x, y)
    return best


def empty_spot(level):
    theta = 0.7 * level * (clock_units() + 0.1)
    for x, y in ((20, 470), (620, 470), (620, 100), (20, 100), (320, 470)):
        if all(abs(x - bx) > r + 30 or abs(y - by) > r + 30
               for bx, by, r in (target_box(i, theta) for i in range(20))):
            return x, y
    return 20, 470


game = subprocess.Popen([os.environ.get("KORVA_WINE", "wine"), "build/win/korvastil.exe"],
                        stderr=subprocess.DEVNULL)
try:
    setup = window("Direct device setup", 60)
    if not check("the setup window appears", setup is not None):
        raise SystemExit
    time.sleep(0.5)
    run("xdotool", "mousemove", "--window", setup, "127", "265", "click", "1")
    main = window("Korvastil is mad", 30)
    time.sleep(2)
    for _ in range(2):  # the title and briefing screens
        run("xdotool", "mousemove", "320", "240", "sleep", "0.2", "click", "1")
        time.sleep(1)
    time.sleep(1)

    start = read_score_surely()
    check("the game starts at level 1 with a score near 2000 (read %s)" % (start,),
          start is not None and start[1] == 1 and 1700 <= start[0] <= 2000)

    # Firing at nothing costs points: 100 a press and 200 a frame the button is held.
    x, y = empty_spot(1)
    before = read_score_surely()
    fire(x, y, 0.0)
    time.sleep(0.05)
    after = read_score_surely()
    check("the score falls while firing (%s -> %s)" % (before, after),
          before is not None and after is not None and after[0] <= before[0] - 100)

    # Clear the level: aim along the known paths, count the hits from the score. A
    # shot may hit two targets at once; once every target has been seen to score,
    # the rest are shot at in turn until the level ends.
    hit = set()
    level = 1
    first_hit_shot = None
    interlude = None
    shots = 0
    tried = {i: 0 for i in range(20)}
    score = after[0] if after else None
    deadline = time.time() + 120
    while time.time() < deadline and interlude is None:
        unhit = [i for i in range(20) if i not in hit]
        target = aim(level, unhit or list(range(20)), tried)
        if not target:
            time.sleep(0.02)
            continue
        _, i, x, y = target
        theta = 0.7 * level * (clock_units() + 0.015)
        x, y, _ = target_box(i, theta)
        fire(x, y)
        shots += 1
        tried[i] += 1
        time.sleep(0.06)
        path = shot("after-shot")
        if brightness(path) > 0.8:  # white: the interlude, or death if hits were missed
            if "cubes" not in white_screen_says(path):
                interlude = path
                hit.add(i)
            else:
                hit.clear()  # died: the targets are whole again
                time.sleep(6.5)
                score = None
            continue
        now = read_score_surely()
        if now and score is not None and now[0] >= score + 1000 and now[1] == level:
            hit.add(i)
            if first_hit_shot is None and score >= 200:
                first_hit_shot = shot("play")
                check("a hit raises the score (%d -> %d)" % (score, now[0]), True)
        if now:
            score = now[0]
    print("shots fired: %d" % shots)
    check("clearing all twenty targets ends the level (%d seen to score)" % len(hit),
          interlude is not None)
    if interlude is None:
        for _ in range(20):
            path = shot("interlude-wait")
            if brightness(path) > 0.8:
                interlude = path
                break
            time.sleep(0.1)
    if check("the level interlude shows", interlude is not None):
        time.sleep(1)
        shot("interlude")
        time.sleep(9.5)
        after = read_score_surely()
        check("the next level begins (read %s)" % (after,), after is not None and after[1] == 2)
        level = 2

    # Holding the button drains the score until the player dies.
    x, y = empty_spot(level)
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
        shot("death")
        time.sleep(6)
        after = read_score_surely()
        check("play restarts at level 1 with 3000 (read %s)" % (after,),
              after is not None and after[1] == 1 and 2800 <= after[0] <= 3000)

    run("xdotool", "key", "--window", main, "Escape")
    try:
        code = game.wait(15)
        check("Escape ends the program with exit code 0 (got %d)" % code, code == 0)
    except subprocess.TimeoutExpired:
        check("Escape ends the program", False)
finally:
    if game.poll() is None:
        game.kill()
    print("e2e play: %d passed, %d failed" % (passed, failed))
    sys.exit(1 if failed else 0)
