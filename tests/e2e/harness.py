"""What the end-to-end scripts share: starting the game under Wine on the virtual
display, going through its screens as a player would, reading the screen, and counting
checks. Runs inside the Wine environment (tests/e2e/run.sh)."""
import math
import os
import re
import subprocess
import sys
import time

W, H = 640, 480
ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
SHOTS = os.path.join(ROOT, "build", "screens")
os.makedirs(SHOTS, exist_ok=True)


class Checks:
    def __init__(self, name):
        self.name, self.passed, self.failed = name, 0, 0

    def __call__(self, what, ok):
        print(("PASS: " if ok else "FAIL: ") + what, flush=True)
        if ok:
            self.passed += 1
        else:
            self.failed += 1
        return ok

    def finish(self):
        print("e2e %s: %d passed, %d failed" % (self.name, self.passed, self.failed), flush=True)
        sys.exit(1 if self.failed else 0)


def run(*args):
    return subprocess.run(args, capture_output=True, text=True).stdout.strip()


def clock_units():
    """The game's clock: the system's millisecond counter (Wine takes it from the
    host's raw monotonic clock), 32 bits, times 0.0005."""
    return (int(time.clock_gettime(time.CLOCK_MONOTONIC_RAW) * 1000) & 0xFFFFFFFF) * 0.0005


def target_box(i, theta):
    """Where target i is drawn and its hit box, as the game computes them."""
    a = theta + i
    x = 20 * i - 200 * math.sin(a)
    y = math.sin(theta) + 50 * math.sin(0.1 * i * (2 * i + theta))
    depth = 20 * i + 100
    return int(W * x / depth + W / 2), int(-(W * y) / depth + H / 2), int(W * 10 / depth)


def aim_point(i, theta):
    """Where to click target i: (x, y, r), or None when no click is sure to land in its box.
    The cubes swing fast sideways and slowly up and down, for minutes beyond the top or
    bottom edge: a cube hanging over one is clicked inside the screen, inside its box."""
    x, y, r = target_box(i, theta)
    if min(x - r, W - x - r) <= 20:
        return None
    inside = min(max(y, 10), H - 10)
    if abs(inside - y) > r - 10:
        return None
    return x, inside, r


def shot(name):
    path = os.path.join(SHOTS, "e2e-%s.png" % name)
    run("import", "-window", "root", path)
    return path


def brightness(path):
    return float(run("convert", path, "-colorspace", "Gray", "-format", "%[fx:mean]", "info:") or 0)


def differ(a, b, pixels=2000):
    """Whether two screenshots differ in more than `pixels` pixels."""
    out = subprocess.run(["compare", "-metric", "AE", a, b, "null:"], capture_output=True, text=True)
    try:
        return float((out.stderr or out.stdout).split()[0]) > pixels
    except (ValueError, IndexError):
        return False


def read_score():
    """(score, level) from the overlay line, or None when it cannot be read."""
    path = shot("ocr")
    crop = os.path.join(SHOTS, "e2e-ocr-line.png")
    run("convert", path, "-crop", "220x24+15+58", "+repage", "-colorspace", "Gray",
        "-threshold", "96%", "-negate", "-resize", "400%", crop)
    m = re.search(r"(-?\d+)\D+(\d+)\s*$", run("tesseract", crop, "stdout", "--psm", "7"))
    return (int(m.group(1)), int(m.group(2))) if m else None


def read_score_surely(tries=5):
    for _ in range(tries):
        s = read_score()
        if s:
            return s
        time.sleep(0.1)
    return None


def white_screen_says(path):
    """The line at the middle of a white screen: the interlude's or the death screen's."""
    crop = os.path.join(SHOTS, "e2e-ocr-middle.png")
    run("convert", path, "-crop", "640x26+0+237", "+repage", "-colorspace", "Gray",
        "-threshold", "50%", "-resize", "300%", crop)
    return run("tesseract", crop, "stdout", "--psm", "7")


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


def empty_spot(level):
    theta = 0.7 * level * (clock_units() + 0.1)
    for x, y in ((20, 470), (620, 470), (620, 100), (20, 100), (320, 470)):
        if all(abs(x - bx) > r + 30 or abs(y - by) > r + 30
               for bx, by, r in (target_box(i, theta) for i in range(20))):
            return x, y
    return 20, 470


def start(audio_name, windowed=False, retrace=True, stupid=False, mode_row=0):
    """Starts the game and waits for its setup window; returns (process, setup window)."""
    env = dict(os.environ, KORVA_AUDIO_FILE=os.path.join(SHOTS, "e2e-%s-audio.raw" % audio_name))
    game = subprocess.Popen([os.environ.get("KORVA_WINE", "wine"), "build/win/korvastil.exe"],
                            cwd=ROOT, env=env, stderr=subprocess.DEVNULL)
    setup = window("Direct device setup", 60)
    if setup:
        time.sleep(0.5)
        if windowed:
            run("xdotool", "mousemove", "--window", setup, "12", "198", "click", "1")
        if stupid:
            run("xdotool", "mousemove", "--window", setup, "12", "218", "click", "1")
        if not retrace:
            run("xdotool", "mousemove", "--window", setup, "12", "238", "click", "1")
        if mode_row:
            run("xdotool", "mousemove", "--window", setup, "60", str(68 + 14 * mode_row), "click", "1")
    return game, setup


def press_start(setup):
    run("xdotool", "mousemove", "--window", setup, "127", "265", "click", "1")
    return window("Korvastil is mad", 30)


def skip_intro():
    time.sleep(2)
    for _ in range(2):  # the title and briefing screens
        run("xdotool", "mousemove", "320", "240", "sleep", "0.2", "click", "1")
        time.sleep(1)
    time.sleep(1)


def no_game_left():
    return run("pgrep", "-f", "korvastil.exe") == ""


def ends_with(game, seconds):
    """The exit code within the time, or None."""
    try:
        return game.wait(seconds)
    except subprocess.TimeoutExpired:
        return None


# Now and then Wine's own process teardown ends a program that has already quit with
# SIGKILL instead of its exit code: at the very end, after the game's shutdown has run
# (about one quit in six after a level interlude on this machine, fewer elsewhere). A run
# that ends so is run again, up to twice, and said; a third kill in a row fails.
WINE_TEARDOWN_KILL = -9
TEARDOWN_RUNS = 3


def again_if_killed(scenario):
    """Runs scenario() (which returns the exit code) again while Wine killed it at the end."""
    for run_number in range(1, TEARDOWN_RUNS + 1):
        code = scenario()
        if code != WINE_TEARDOWN_KILL:
            break
        if run_number < TEARDOWN_RUNS:
            print("NOTE: ended by SIGKILL in Wine's teardown; running it again", flush=True)
    return code


def stop(game):
    if game.poll() is None:
        game.kill()
        game.wait()
    run("pkill", "-f", "korvastil.exe")


def clear_level(level, check, seconds=180):
    """Shoots along the targets' paths until the level interlude shows; returns its
    screenshot path, or None. The hits are counted from the score; the first one that
    raises it from a living score is reported through check. Levels usually clear in 20 to
    50 seconds; the nearest targets show whole only about a second in every nine, so an
    unlucky run needs longer."""
    tried = {i: 0 for i in range(20)}
    hit = set()
    first_hit = None
    score = (read_score_surely() or (None,))[0]
    deadline = time.time() + seconds
    shots = deaths = unread = since_hit = 0
    while time.time() < deadline:
        theta = 0.7 * level * (clock_units() + 0.015)
        best = None
        if len(hit) == 20:
            hit.clear()  # every cube counted, yet no interlude: a count was wrong
        for i in [i for i in range(20) if i not in hit]:
            aim = aim_point(i, theta)
            if aim:
                rank = (-tried[i], aim[2])
                if best is None or rank > best[0]:
                    best = (rank, i)
        if not best:
            time.sleep(0.02)
            continue
        i = best[1]
        theta = 0.7 * level * (clock_units() + 0.015)
        aim = aim_point(i, theta)
        if not aim:
            continue
        # Every standing cube whose box holds the click is hit: the others under it, nearest
        # first, in case the reward counts more than one.
        under = sorted((abs(bx - aim[0]) + abs(by - aim[1]), j)
                       for j, (bx, by, r) in ((j, target_box(j, theta)) for j in range(20))
                       if j != i and j not in hit and abs(bx - aim[0]) <= r and abs(by - aim[1]) <= r)
        fire(aim[0], aim[1])
        tried[i] += 1
        shots += 1
        # The press costs 100 at once; a hit's reward (over 1000) follows on the game's next
        # frame, and the screen may be a frame behind: read until the reward shows, or for a
        # while after the cost did (up to a second in all), so that a hit is never credited
        # to the next shot's target.
        settle = time.time() + 1.0
        charged = None
        while True:
            time.sleep(0.05)
            path = shot("after-shot")
            white = brightness(path) > 0.8  # the interlude, or death when the hits ran out
            if white:
                break
            now = read_score_surely()
            if now is None or score is None or now[0] >= score + 1000 or time.time() > settle:
                break
            if now[0] <= score - 90:
                charged = charged or time.time()
                if time.time() - charged > 0.25:
                    break
        if white:
            if "cubes" not in white_screen_says(path):
                return path
            hit.clear()  # died: the targets are whole again
            deaths += 1
            time.sleep(6.5)
            score = None
            continue
        since_hit += 1
        if since_hit >= 15:
            hit.clear()  # a hit was missed or misread: every target is a candidate again
            since_hit = 0
        if now and score is not None and now[0] >= score + 1000 and now[1] == level:
            hit.add(i)
            # 2000 a cube, less the press's cost (100, and 200 a frame held)
            for _, j in under[:round((now[0] - score + 300) / 2000) - 1]:
                hit.add(j)
            since_hit = 0
            if first_hit is None and score >= 200:
                first_hit = shot("play-play")
                check("a hit raises the score (%d -> %d)" % (score, now[0]), True)
                clear_level.hit_seen = True
        if now:
            score = now[0]
        else:
            unread += 1
    print("NOTE: level %d not cleared in %d s: %d shots, %d hits counted, %d deaths, "
          "%d scores unread, last score %s, uncounted targets %s"
          % (level, seconds, shots, len(hit), deaths, unread, score, sorted(set(range(20)) - hit)),
          flush=True)
    return None
