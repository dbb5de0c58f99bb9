"""The game under Wine on the virtual display, played as a player would (xdotool), its screen
read back (ImageMagick, glyph matching, tesseract), its sound recorded in real time and
followed along the song: the player of ./run's demonstration, the benchmarks and the
end-to-end tier (tests/e2e/run.sh)."""
import math
import os
import re
import subprocess
import sys
import time

W, H = 640, 480
RATE = 44100
# The intro's text block, read whole: the uncle's rays cross some of its lines in any frame, and
# one line read is enough. Words of the briefing alone (the game's overlay says "You need").
INTRO_TEXT = ("640x230+0+0", "60%", True, "6")
BRIEFING_WORDS = re.compile(r"You are|ALLWAYS|LIGHTS UP|mousebutton|least 200|Good luck")
ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
SHOTS = os.path.join(ROOT, "build", "screens")
os.makedirs(SHOTS, exist_ok=True)


class Checks:
    def __init__(self, name):
        self.name, self.passed, self.failed = name, 0, 0

    def __call__(self, what, ok):
        print(("PASS: " if ok else "FAIL: ") + what, flush=True)
        self.passed, self.failed = self.passed + bool(ok), self.failed + (not ok)
        return ok

    def finish(self):
        print("e2e %s: %d passed, %d failed" % (self.name, self.passed, self.failed), flush=True)
        sys.exit(1 if self.failed else 0)


def run(*args):
    return subprocess.run(args, capture_output=True, text=True).stdout.strip()


# --- The screen ---

def shot(name):
    path = os.path.join(SHOTS, "e2e-%s.png" % name)
    run("import", "-window", "root", path)
    return path


def pixels(path):  # R, G, B bytes, row by row
    return subprocess.run(["convert", path, "rgb:-"], capture_output=True).stdout


def uncle(path):  # the share of the screen red over blue: only the uncle's texture is
    rgb = pixels(path)
    return sum(r > b + 20 for r, b in zip(rgb[0::3], rgb[2::3])) * 3 / max(len(rgb), 1)


def until(probe, seconds, step=0.2):
    """Calls probe until it returns something true, for up to `seconds`; returns that or None."""
    end = time.time() + seconds
    while not (found := probe()) and time.time() < end:
        time.sleep(step)
    return found or None


def ocr(path, crop, threshold, negate, psm="7"):
    out = os.path.join(SHOTS, "e2e-ocr.png")
    run("convert", path, "-crop", crop, "+repage", "-colorspace", "Gray", "-threshold", threshold,
        *(["-negate"] if negate else []), "-resize", "400%" if psm == "7" else "200%", out)
    return run("tesseract", out, "stdout", "--psm", psm)


def grey(path, crop):  # rows of 8-bit grey values
    width, raw = int(crop.split("x")[0]), subprocess.run(["convert", path, "-crop", crop, "+repage", "-colorspace",
                                                           "Gray", "-depth", "8", "gray:-"], capture_output=True).stdout
    return [raw[i:i + width] for i in range(0, len(raw), width)]


# The overlay's "Score:" and digits as Wine draws them (Anton 5.3.0, 20 pixels), 9 rows from y 66;
# OCR misreads a fifth of these small glyphs even on a black background.
STRIP = grey(os.path.join(os.path.dirname(__file__), "overlay-glyphs.pgm"), "79x9+0+0")
GLYPHS = {" ": [bytes(5)] * 9} | {d: [r[x:x + 4 + (d != "1")] for r in STRIP]  # "1" is 4 wide, the others 5
                                  for d, x in zip("0123456789", (30, 35, 39, 44, 49, 54, 59, 64, 69, 74))}


def unlike(glyph, rows, x):  # text is blended over the scene: a brighter pixel may be the scene
    return sum(max(g - o, 0) + max(o - g, 0) / 4 for gr, orow in zip(glyph, rows) for g, o in zip(gr, orow[x:]))


def glyph_at(rows, x, blank):  # the digit whose cell starts at x, " ", or None if two fit alike
    fits = sorted((unlike(g, rows, x) / len(g[0]), d) for d, g in GLYPHS.items() if blank or d != " ")
    return fits[0][1] if fits[1][0] - fits[0][0] >= 20 else None


def score_on(path):  # (score, level) read off the overlay, or None
    rows = grey(path, "130x9+20+66")
    if sum(max(s - o, 0) for sr, orow in zip(STRIP, rows) for s, o in zip(sr[:30], orow)) > 500:
        return None  # not the overlay
    digits, x, d = "", 30, None
    while len(digits) < 7 and (d := glyph_at(rows, x, digits)) not in (None, " "):
        digits, x = digits + d, x + len(GLYPHS[d][0])
    level = d == " " and glyph_at(rows, x + 40, False)
    return (int(digits), int(level)) if level else None


def read_score(seconds=2):
    return until(lambda: score_on(shot("score")), seconds, 0.05)


def white(path):  # the level interlude or the death screen
    rgb = pixels(path)
    return sum(rgb) > 0.8 * 255 * len(rgb)


def white_screen_says(path):
    return ocr(path, "640x26+0+237", "50%", False)


# --- The targets, where the game puts them ---

def clock_units():  # the game's: Wine's millisecond counter is the host's raw monotonic clock
    return (int(time.clock_gettime(time.CLOCK_MONOTONIC_RAW) * 1000) & 0xFFFFFFFF) * 0.0005


def target_box(i, theta):  # (x, y, half size) on the screen
    x = 20 * i - 200 * math.sin(theta + i)
    y = math.sin(theta) + 50 * math.sin(0.1 * i * (2 * i + theta))
    depth = 20 * i + 100
    return int(W * x / depth + W / 2), int(-(W * y) / depth + H / 2), int(W * 10 / depth)


def aim_point(i, level, whole, lead=0.015):
    """A point on the screen inside target i's box `lead` clock units from now, with room for
    the time a click takes to arrive (the boxes of near targets move up to 450 pixels a
    second), and the other targets of `whole` whose boxes may hold it too; or None."""
    theta = 0.7 * level * (clock_units() + lead)
    x, y, r = target_box(i, theta)
    margin = 2 + 0.02 * 0.35 * level * 200 * W / (20 * i + 100)
    aim = (x, min(max(y, 10), H - 10))
    if r <= margin or not (20 < x < W - 20) or abs(aim[1] - y) > r - 4:
        return None
    boxes = ((j, target_box(j, theta)) for j in whole if j != i)
    return aim, [j for j, (bx, by, br) in boxes if abs(bx - aim[0]) <= br + margin and abs(by - aim[1]) <= br + 4]


def empty_spot(level):
    theta = 0.7 * level * (clock_units() + 0.1)
    for x, y in ((20, 470), (620, 470), (620, 100), (20, 100), (320, 470)):
        if all(abs(x - bx) > r + 30 or abs(y - by) > r + 30
               for bx, by, r in (target_box(i, theta) for i in range(20))):
            return x, y
    return 20, 470


# --- The program ---

def window(name, seconds):
    return until(lambda: (run("xdotool", "search", "--name", name).split() or [None])[0], seconds, 0.1)


def start(windowed=False, retrace=True, stupid=False, mode_row=0, env=None, exe="build/win/korvastil.exe"):
    """Starts the game and waits for its setup window, whose choices it clicks;
    returns (process, setup window)."""
    said = open(os.path.join(SHOTS, "wine-stderr.log"), "w+")
    game = subprocess.Popen([os.environ.get("KORVA_WINE", "wine"), exe], cwd=ROOT,
                            env=dict(os.environ, **(env or {})), stdin=subprocess.DEVNULL, stderr=said)
    # A game that ended shows no window later: its failure is told at once.
    setup = until(lambda: game.poll() is not None or window("Direct device setup", 0), 60, 0.1)
    setup = setup if setup is not True else None
    if not setup:
        print("NOTE: no setup window: " + why_no_window(game, said), flush=True)
    if setup:
        time.sleep(0.5)  # a click the moment the window maps can be lost
        for on, y in ((windowed, 198), (stupid, 218), (not retrace, 238)):
            if on:
                run("xdotool", "mousemove", "--window", setup, "12", str(y), "click", "1")
        if mode_row:
            run("xdotool", "mousemove", "--window", setup, "60", str(68 + 14 * mode_row), "click", "1")
    return game, setup


def why_no_window(game, said):
    """What a run that never showed its first window leaves to see: the game, the display,
    this prefix's processes (state, scheduling policy, where each waits), what Wine said."""
    said.seek(0)
    shown = run("xdotool", "search", "--onlyvisible", "--name", ".", "getwindowname", "%@")
    answers = bool(run("xdotool", "getdisplaygeometry"))
    xvfb = os.path.join(os.environ.get("KORVA_WINE_DIR", os.path.join(ROOT, "build", "wine")), "xvfb.log")
    lines = ["the game %s" % ("is running" if game.poll() is None else "ended with %s" % game.returncode),
             "display %s %s, windows shown: %r" % (os.environ.get("DISPLAY"), "answers" if answers else
                                                   "does not answer", shown.splitlines()[:8]),
             "load %s, real-time share %s us a second" % (
                 open("/proc/loadavg").read().split()[0],
                 open("/proc/sys/kernel/sched_rt_runtime_us").read().strip())]
    for pid in in_our_prefix("wineserver|\\.exe"):
        stat = run("cat", "/proc/%s/stat" % pid).rsplit(")", 1)[-1].split()
        if stat:
            lines.append("%s %s: state %s, policy %s, waits in %s" % (
                pid, run("cat", "/proc/%s/comm" % pid), stat[0], stat[38], run("cat", "/proc/%s/wchan" % pid)))
    lines.append("Wine said: %r" % said.read()[-600:])
    if not answers and os.path.exists(xvfb):
        lines.append("Xvfb said: %r" % open(xvfb, errors="replace").read()[-600:])
    return "; ".join(lines)


def press_start(setup):
    run("xdotool", "mousemove", "--window", setup, "127", "265", "click", "1")
    return window("Korvastil is mad", 30)


def click_middle():
    run("xdotool", "mousemove", "320", "240", "sleep", "0.2", "click", "1")


def title_on(path):  # the uncle, and neither the overlay nor a word of the briefing
    return uncle(path) > 0.005 and not score_on(path) and not re.search(
        "You|" + BRIEFING_WORDS.pattern, ocr(path, *INTRO_TEXT))


def briefing_on(path):
    return bool(BRIEFING_WORDS.search(ocr(path, *INTRO_TEXT))) and not score_on(path)


def title_shows():
    path = shot("title")
    return path if title_on(path) else None


def briefing_shows():
    path = shot("briefing")
    return path if briefing_on(path) else None


def skip_intro():
    """Clicks through the title and briefing screens, each once it shows, to the game's score."""
    until(title_shows, 20)
    click_middle()
    until(briefing_shows, 10)
    click_middle()
    return read_score(10)


def fire(x, y, hold=0.008):
    run("xdotool", "mousemove", str(x), str(y), "mousedown", "1", "sleep", str(hold), "mouseup", "1")


def quit_by(way, target):
    # A key, or the system's close keystroke: WM_CLOSE, then WM_DESTROY.
    run("xdotool", "key", "--window", target, "alt+F4" if way == "close" else way)


def ends_with(game, seconds):  # the exit code, or None
    return until(lambda: game.poll() is not None, seconds, 0.05) and game.returncode


def in_our_prefix(pattern):  # processes of this Wine prefix: other checkouts may be playing too
    mine = "WINEPREFIX=" + os.environ.get("WINEPREFIX", "")
    return [pid for pid in run("pgrep", "-f", pattern).split()
            if mine in run("cat", "/proc/%s/environ" % pid).split("\0")]


def our_games():
    return in_our_prefix("korvastil.exe")


def stop(game):
    if game.poll() is None:
        game.kill()
        game.wait()
    run("kill", "-9", *our_games())


# --- The sound ---

def recording(name):
    """Records what the sound device plays, from the sound server's monitor; returns the
    function that stops it and returns the sound."""
    out = open(os.path.join(SHOTS, "e2e-%s.raw" % name), "wb+")
    env = {k: v for k, v in os.environ.items() if k != "PULSE_LATENCY_MSEC"}  # the recorder keeps its own
    parec = subprocess.Popen(["parec", "-d", "korva.monitor", "--rate=%d" % RATE, "--channels=2",
                              "--format=s16le", "--raw", "--latency-msec=20"], stdout=out, env=env)
    return lambda: (parec.terminate(), parec.wait(), out.seek(0), out.read())[-1]


def server_holds_ms(samples=20):
    """The most the sound server held of the game's stream (its queue) in `samples` readings
    20 ms and more apart."""
    most = 0.0
    for _ in range(samples):
        for line in run("pactl", "list", "sink-inputs").splitlines():
            if "Buffer Latency:" in line:
                most = max(most, int(line.split()[2]) / 1000)
        time.sleep(0.05)
    return most


ZEROS = re.compile(rb"(?:\0\0\0\0)+")


def same_frames(a, i, b, j, n):
    """How many frames a (from frame i) and b (from frame j) agree in, at most n."""
    k = 0
    while k < n and a[(i + k) * 4:(i + k + 4096) * 4] == b[(j + k) * 4:(j + k + 4096) * 4]:
        k += 4096
    while k < n and a[(i + k) * 4:(i + k + 1) * 4] == b[(j + k) * 4:(j + k + 1) * 4]:
        k += 1
    return min(k, n)


def follow_song(played, song, tail):
    """Follows what the device played (16-bit stereo, but its last `tail` frames) along the
    song. Silence after which the song goes on where it stopped was inserted by the output
    path (an underrun) and is counted; any other difference (a replayed or skipped block,
    other sound) is a fault. Returns (seconds followed, [(at second, frames)], fault)."""
    lead = ZEROS.match(played)
    i = lead.end() // 4 if lead else 0
    begin = song.find(played[i * 4:i * 4 + 4096])
    if begin < 0 or begin % 4 or begin > RATE * 4:
        return 0.0, [], "the device did not start with the song"
    j = j0 = begin // 4
    end = len(played.rstrip(b"\0")) // 4 - tail
    silences = []
    while i < end:
        n = min(end - i, len(song) // 4 - j)
        if n <= 0:
            return (j - j0) / RATE, silences, "the rendered song is shorter than the sound played"
        k = same_frames(played, i, song, j, n)
        i, j = i + k, j + k
        if k == n:
            continue
        gap = ZEROS.match(played, i * 4)
        if gap and played[gap.end():gap.end() + 4] == song[j * 4:j * 4 + 4]:
            silences.append(((j - j0) / RATE, (gap.end() - i * 4) // 4))
            i = gap.end() // 4
            continue
        at = song.find(played[i * 4:i * 4 + 1024])
        what = "the song from %.2f s" % ((at // 4 - j0) / RATE) if at % 4 == 0 else "other sound"
        return (j - j0) / RATE, silences, "at %.2f s of the song it played %s" % ((j - j0) / RATE, what)
    return (j - j0) / RATE, silences, None


def check_song(check, played, what, at_least, tail=2 * RATE):
    """Checks that the device played the song from its start, in order, for at least
    `at_least` seconds, and reports the silences the output path inserted: they take their
    time on the clock too, so they count towards it."""
    song_path = os.path.join(SHOTS, "e2e-song.wav")
    subprocess.run([os.path.join(ROOT, "build", "native", "xm2wav"), os.path.join(ROOT, "assets", "song.xm"),
                    song_path, "--seconds", "%.1f" % (len(played) / 4 / RATE + 2)], capture_output=True)
    with open(song_path, "rb") as f:
        song = f.read()[44:]
    seconds, silences, fault = follow_song(played, song, tail)
    silent = sum(n for _, n in silences) / RATE
    print("NOTE: %s: %d silences inserted by the output path (%.1f a minute), %.0f ms in all, over %.1f s%s"
          % (what, len(silences), 60 * len(silences) / max(seconds, 1), silent * 1000, seconds,
             "".join("; %.2f s: %.0f ms" % (at, 1000 * n / RATE) for at, n in silences[:30])
             + ("; ..." if len(silences) > 30 else "")), flush=True)
    return check("%s: the device played %.1f s of the song from its start, in order, and %.1f s of silence"
                 " (of at least %.1f s)%s" % (what, seconds, silent, at_least, "" if not fault else ": " + fault),
                 fault is None and seconds + silent >= at_least)


# --- Playing a level ---

def clear_level(level, check, seconds=300, hit_seen=None):
    """Shoots the targets until the level interlude shows; returns its screenshot, or None.
    Every shot aims where only one whole target's box will be, so a reward read from the
    score names the target it hit; hit_seen, if given, gets the screenshot that showed it."""
    hit, tried, shots, deaths, began = set(), [0] * 20, 0, 0, time.time()
    score = (read_score() or (None,))[0]
    while time.time() < began + seconds:
        whole = set(range(20)) - hit
        # Whole targets alone under the click, the least tried first; when none is, those
        # counted as hit, in case one was counted wrongly.
        options = sorted((i in hit, tried[i], i, aim) for i, aim in
                         ((i, aim_point(i, level, whole)) for i in range(20)) if aim and not aim[1])
        if not options:
            time.sleep(0.02)
            continue
        target, (aim, _) = options[0][2], options[0][3]
        tried[target], shots = tried[target] + 1, shots + 1
        sweep = len(whole) == 1 and tried[target] > 3 and (score or 0) > 3000
        if options[0][0] and (score or 0) < 1200:
            # Every target counted, the level still on and too little score to try them all
            # again: dying restarts the level whole, with 3000.
            fire(*empty_spot(level), hold=1.5)
        elif sweep:
            # The last target, missed three times (a near one crosses fast): hold the button 0.12 s
            # where its box, passing for 0.28 s, will be in 0.06 s: any click delay up to 0.2 s.
            fire(*(aim_point(target, level, whole, 0.03) or [aim])[0], hold=0.12)
        else:
            fire(*aim)
        # The press costs 100 at once and a reward follows on the game's next frame; the
        # screenshot may be a frame behind: read until the reward shows, or once more after the cost.
        now, charged = None, False
        for _ in range(6):
            time.sleep(0.06)
            path = shot("after-shot")
            if white(path):
                if "cubes" not in white_screen_says(path):
                    print("NOTE: level %d cleared in %.0f s: %d shots, %d deaths"
                          % (level, time.time() - began, shots, deaths), flush=True)
                    return path
                hit, tried, deaths, score, now = set(), [0] * 20, deaths + 1, None, None
                time.sleep(6.5)
                break
            now = score_on(path) or now
            if score is None or sweep or (now and (now[0] >= score + 1000 or charged)):
                break
            charged = bool(now) and now[0] <= score - 90
        rewarded = now and score is not None and now[0] >= score + 1000 and now[1] == level
        if rewarded and hit_seen:
            hit_seen(path)
        if rewarded and check and score >= 200:
            check = check("a hit raises the score (%d -> %d)" % (score, now[0]), True) and None
        if rewarded or tried[target] >= 6:
            hit.add(target)  # or, missed six times, probably hit unseen: try the others
        score = now[0] if now else score
    print("NOTE: level %d not cleared in %d s: %d shots, %d deaths, last score %s, targets not hit %s"
          % (level, seconds, shots, deaths, score, sorted(set(range(20)) - hit)), flush=True)
    return None
