#!/usr/bin/env python3
"""The game played by itself, as a player would, on the virtual display ./run starts when there is
none: Start with the setup window's defaults, a look at the title and the briefing, then the cubes
shot for --seconds from the Start, and Escape. It keeps screenshots, a contact sheet of them and the
sound the game played, and ends with the game's exit code. Run by ./run in the Wine environment.
Usage: scripts/demo.py --seconds N --out DIR"""
import argparse
import glob
import os
import shutil
import signal
import subprocess
import sys
import threading
import time
import wave

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import player as h  # noqa: E402  (the player the end-to-end tier uses too: the same input, the same screen reading)

EVERY = 3.0  # seconds between the timed screenshots


def say(text):
    print("run: " + text, flush=True)


class Camera:
    """Screenshots, timed from the Start: one every EVERY seconds in a thread of its own, and
    the moments the player picks."""

    def __init__(self, out):
        self.out, self.began, self.shots = out, time.time(), []  # [(seconds, path)]
        self.lock, self.done = threading.Lock(), threading.Event()
        self.thread = threading.Thread(target=self.timed, daemon=True)
        self.thread.start()

    def take(self, copy_of=None, timed=False):
        with self.lock:
            at = time.time() - self.began
            if timed and self.shots and at - self.shots[-1][0] < 1:
                return  # the player's own shot shows it
            path = os.path.join(self.out, "shot-%03d-%05.1fs.png" % (len(self.shots) + 1, at))
            if copy_of:
                shutil.copyfile(copy_of, path)
            else:
                h.run("import", "-window", "root", path)
            if os.path.exists(path):
                self.shots.append((at, path))

    def timed(self):
        while not self.done.wait(EVERY - (time.time() - self.began) % EVERY):
            self.take(timed=True)

    def stop(self):  # may be called twice
        self.done.set()
        self.thread.join()


def what_shows(path):
    """A screenshot in a few words, read off it as the end-to-end tier reads the screen."""
    if h.white(path):
        says = h.white_screen_says(path)
        return "death screen" if "stage" in says else "level interlude" if "level" in says else "white screen"
    score = h.score_on(path)
    if score:
        return "play, score %d, level %d" % score
    return "briefing" if h.briefing_on(path) else "title" if h.title_on(path) else ""


def label_font():  # ImageMagick's default face is often not installed: the game's own, else any
    fonts = [os.path.join(h.ROOT, "build", "font", "Anton.ttf")] + sorted(glob.glob("/usr/share/fonts/**/*.ttf",
                                                                                  recursive=True))
    return next((f for f in fonts if os.path.exists(f)), None)


def contact_sheet(shots, labels, path):
    """One PNG: the screenshots at a third of their size, five a row, each with its time."""
    font, args = label_font(), ["montage"]
    for (at, shot), label in zip(shots, labels):
        args += (["-label", "%.1f s%s" % (at, ": " + label if label else "")] if font else []) + [shot]
    args += ["-font", font, "-pointsize", "13"] if font else []
    made = subprocess.run(args + ["-tile", "5x", "-geometry", "213x160+4+4", "-background", "#202020",
                                  "-fill", "white", path], capture_output=True)
    return made.returncode == 0


def save_wav(sound, path):
    with wave.open(path, "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(h.RATE)
        w.writeframes(sound)


def play(seconds, camera, started):
    """Plays level after level until `seconds` from the Start have passed; returns the hits."""
    left = lambda: seconds - (time.time() - started)  # noqa: E731
    hits, shown = [0], [0.0]

    def hit_seen(path):  # its "Bang!!" and the cube bursting; a picture every few seconds is enough
        hits[0] += 1
        if time.time() - shown[0] > 4:
            shown[0] = time.time()
            camera.take(path)

    level = 1
    while left() > 1:
        camera.take()  # the level's twenty cubes, whole
        interlude = h.clear_level(level, None, left(), hit_seen)
        if not interlude:
            break
        camera.take(interlude)
        level += 1
        h.until(lambda: (h.read_score(0.5) or (0, 0))[1] == level, max(left(), 0.1), 0.5)
    return hits[0]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--seconds", type=float, default=60)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    for old in os.listdir(args.out):
        if old.startswith("shot-") or old in ("contact-sheet.png", "sound.wav"):
            os.remove(os.path.join(args.out, old))
    # Ctrl+C reaches every process of the terminal; a TERM (a time limit) ends the run the same way.
    # Set even when started with Ctrl+C ignored (in the background): it is how the run is stopped.
    signal.signal(signal.SIGINT, signal.default_int_handler)
    signal.signal(signal.SIGTERM, signal.default_int_handler)
    os.nice(5)  # the screen reading yields to the game: its sound thread must keep the device fed

    sound = h.recording("demo")
    game, camera, code, interrupted = None, None, None, False
    try:
        game, setup = h.start()
        if not setup:
            say("the game's setup window did not appear within 60 s")
            return 1
        main_window = h.press_start(setup) or h.press_start(setup)  # a click as it maps can be lost
        if not main_window:
            say("Start did not open the game's window")
            return 1
        started = time.time()
        camera = Camera(args.out)
        say("pressed Start with the setup window's defaults; the game runs for %g seconds" % args.seconds)
        # The title lasts up to 6 s and the briefing up to 24 s more; a click skips each, as a player may.
        # The uncle is told by its colour at once; reading the text takes seconds on a busy machine.
        title = h.until(lambda: h.uncle(h.shot("title")) > 0.005, 20)
        # Each screen is kept once it reads as itself, as a player reads before clicking on: the
        # uncle's rays cross some of its lines in any frame, often for seconds as he drifts, so a
        # shot at a fixed moment was at times unreadable.
        if title:
            title = time.time() - started
            camera.take(copy_of=h.until(h.title_shows, 3))
            h.click_middle()
            briefing = time.time() - started
            time.sleep(0.8)  # the briefing follows the click at once
            camera.take(copy_of=h.until(h.briefing_shows, 8))
            h.click_middle()
        playing = h.read_score(10)
        say("%s; play from %.1f s" % ("the title at %.1f s, the briefing from %.1f s" % (title, briefing)
                                      if title else "no title showed", time.time() - started)
            if playing else "no play showed within 10 s of the intro")
        hits = play(args.seconds, camera, started) if playing else 0
        time.sleep(max(0, args.seconds - (time.time() - started)))
        camera.take()
        camera.stop()  # the last picture is of the game, not of its window closing
        say("%d hits; quitting with Escape after %.0f s" % (hits, time.time() - started))
        h.quit_by("Escape", main_window)
        code = h.ends_with(game, 20)  # the death screen and the interlude run to their end first
        if code is None:
            say("the game did not end within 20 s of Escape; it was ended")
    except KeyboardInterrupt:
        interrupted = True
        say("interrupted: stopping the game")
    finally:
        if camera:
            camera.stop()
        if game:
            h.stop(game)
        played = sound()
    labels = [] if interrupted else [what_shows(path) for _, path in camera.shots] if camera else []
    shots = camera.shots if camera else []
    sheet, wav = os.path.join(args.out, "contact-sheet.png"), os.path.join(args.out, "sound.wav")
    save_wav(played, wav)  # empty with no sound server of our own (a machine with a sound card)
    say("%d screenshots in %s" % (len(shots), args.out))
    kinds = [label.split(",")[0] for label in labels if label]
    if kinds:
        say("they show: " + ", ".join("%s (%d)" % (k, kinds.count(k)) for k in dict.fromkeys(kinds)))
    if shots and contact_sheet(shots, labels or [""] * len(shots), sheet):
        say("contact sheet: " + sheet)
    music = len(played.strip(b"\0")) / 4 / h.RATE
    if played:
        say("sound as the game played it (%.1f s, %.1f s of it music): %s" % (len(played) / 4 / h.RATE, music, wav))
    else:
        say("no sound was recorded: the game played to this machine's own sound device")
    if interrupted:
        return 130
    say("the game ended with exit code %s" % code)
    return 1 if code is None else code


if __name__ == "__main__":
    sys.exit(main())
