#!/usr/bin/env python3
"""Frames per second of the game loop under Wine on the virtual display, WaitRetrace off.

    bench/frame_rate.sh [--windowed] [--seconds 60] [--perf 20] [--exe build/win/korvastil.exe]

The frame count comes from Wine itself: its "fps" debug channel reports, about every
1.5 seconds, the rate at which DirectDraw updated the front buffer, once per Flip (full
screen) or Blt to the primary surface (window), that is once per PresentFrame. The game is
not changed. With +timestamp each report carries the millisecond clock, so the frames of a
window are rate x length, and the minute's rate is their sum over its length. In full
screen the count is checked against the credits scroller, which moves exactly one pixel
per frame: its shift between screenshots, over their interval.

The minute is played: a shot at a target every few seconds (each hit explodes a target,
whose vertices are then refilled every frame), never enough to clear the level.

--perf N records N seconds of the minute with perf (all processes: the game, Wine's
threads and the X server) and prints where the time went, by thread, module and function
(bench/perf_profile.py).
"""
import argparse
import os
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts"))
from player import (H, ROOT, SHOTS, W, clock_units, fire, press_start, run,  # noqa: E402
                     skip_intro, stop, target_box, window)

CREDITS_ROWS = (H - 16, H - 13, H - 10, H - 7, H - 4)  # through the credits line's glyphs


def clock_ms():
    return clock_units() * 2000.0


def credits_strip():
    """The credits line's rows from the screen, as bytes, and the clock when taken."""
    before = clock_ms()
    raw = subprocess.run(["import", "-window", "root", "-crop", "%dx%d+0+%d" % (W, 20, H - 20),
                          "+repage", "-colorspace", "gray", "-depth", "8", "gray:-"],
                         capture_output=True, check=True).stdout
    after = clock_ms()
    rows = [raw[(y - (H - 20)) * W:(y - (H - 20) + 1) * W] for y in CREDITS_ROWS]
    return rows, (before + after) / 2


def leftward_shift(old, new, largest=500):
    """How far the text moved left from old to new: the shift with the least difference."""
    best = None
    for s in range(largest):
        span = W - s
        if span < 100:
            break
        diff = 0
        for a, b in zip(old, new):
            diff += sum(abs(p - q) for p, q in zip(a[s:], b[:span]))
        score = diff / span
        if best is None or score < best[0]:
            best = (score, s)
    return best[1]


def scroller_rate(seconds):
    """Frames per second from the credits scroller over about the given time, with the
    clock at the first and the last screenshot."""
    strips = [credits_strip()]
    end = time.time() + seconds
    while time.time() < end:
        time.sleep(0.4)
        strips.append(credits_strip())
    moved = sum(leftward_shift(a[0], b[0]) for a, b in zip(strips, strips[1:]))
    return moved * 1000.0 / (strips[-1][1] - strips[0][1]), strips[0][1], strips[-1][1]


def fps_reports(path):
    """(clock ms, thread, rate) of every fps report in Wine's log."""
    reports = []
    pattern = re.compile(r"^\s*(\d+)\.(\d+):(\w+):trace:fps:.*@ approx ([\d.]+)fps")
    with open(path, errors="replace") as log:
        for line in log:
            m = pattern.match(line)
            if m:
                ms = int(m.group(1)) * 1000 + int(m.group(2))
                reports.append((ms, m.group(3), float(m.group(4))))
    return reports


def rate_between(reports, start, end):
    """The game thread's frames per second over [start, end]: each report gives the rate
    since the thread's previous report, counted for the part of that span inside."""
    inside = [r for r in reports if start <= r[0] <= end]
    if not inside:
        return None, 0, 0
    thread = inside[-1][1]  # the game thread draws the last frames
    own = [r for r in reports if r[1] == thread]
    frames = 0.0
    for (p, _, _), (t, _, rate) in zip(own, own[1:]):
        overlap = min(t, end) - max(p, start)
        if overlap > 0:
            frames += rate * overlap / 1000.0
    covered = min(own[-1][0], end) - max(own[0][0], start)
    return (frames * 1000.0 / covered if covered > 0 else None), frames, covered


def thread_cpu():
    """CPU seconds so far of every thread of the game's processes and of the X server,
    by (group, thread id); the game's own threads are grouped as "game"."""
    ticks = os.sysconf("SC_CLK_TCK")
    found = {}
    for name, group in (("korvastil", None), ("Xvfb", "X server")):
        for pid in run("pgrep", name).split():  # by process name: the game's is "korvastil..."
            try:
                tids = os.listdir("/proc/%s/task" % pid)
            except OSError:
                continue
            for tid in tids:
                try:
                    with open("/proc/%s/task/%s/stat" % (pid, tid)) as f:
                        fields = f.read().rsplit(")", 1)[1].split()
                    with open("/proc/%s/task/%s/comm" % (pid, tid)) as f:
                        comm = f.read().strip()
                except OSError:
                    continue
                label = group or ("game" if comm.startswith("korvastil") else re.sub(r"-\d+$", "", comm))
                found[(label, tid)] = (int(fields[11]) + int(fields[12])) / ticks
    return found


def cpu_per_frame(before, after, frames):
    """CPU milliseconds per frame by thread group; the game's busiest thread is its game
    thread, which spends its waits for Wine's command stream spinning."""
    used = {k: after[k] - before.get(k, 0.0) for k in after}
    game = [k for k in used if k[0] == "game"]
    groups = {}
    if game:
        busiest = max(game, key=lambda k: used[k])
        groups["game thread"] = used.pop(busiest)
    for (label, _), seconds in used.items():
        label = "game, other threads" if label == "game" else label
        groups[label] = groups.get(label, 0.0) + seconds
    return {k: 1000.0 * v / frames for k, v in groups.items() if v > 0}


def shoot_one(level=1):
    """One click aimed at a target well inside the screen."""
    theta = 0.7 * level * (clock_units() + 0.015)
    for i in range(20):
        x, y, r = target_box(i, theta)
        if min(x - r, W - x - r, y - r, H - y - r) > 20:
            fire(x, y)
            return


def perf_profile(seconds, symbols, out):
    data = os.path.join(SHOTS, "frame-rate.perf")
    subprocess.run(["perf", "record", "-F", "499", "-a", "-o", data, "--", "sleep", str(seconds)],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    report = subprocess.run([sys.executable, os.path.join(ROOT, "bench", "perf_profile.py"), data,
                             symbols], capture_output=True, text=True).stdout
    with open(out, "w") as f:
        f.write(report)
    print(report)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--windowed", action="store_true")
    parser.add_argument("--seconds", type=float, default=60)
    parser.add_argument("--perf", type=float, default=0)
    parser.add_argument("--exe", default="build/win/korvastil.exe")
    parser.add_argument("--symbols", help="the executable with symbols, for --perf "
                        "(default: build/win/korvastil-symbols.exe for the game, else --exe)")
    args = parser.parse_args()
    mode = "windowed" if args.windowed else "fullscreen"

    log_path = os.path.join(SHOTS, "frame-rate-%s.log" % mode)
    env = dict(os.environ, WINEDEBUG="-all,+timestamp,+tid,+fps",
               KORVA_AUDIO_FILE=os.path.join(SHOTS, "frame-rate-audio.raw"))
    with open(log_path, "w") as log:
        game = subprocess.Popen([os.environ.get("KORVA_WINE", "wine"), args.exe], cwd=ROOT,
                                env=env, stderr=log)
    try:
        setup = window("Direct device setup", 60)
        if not setup:
            sys.exit("frame rate: the setup window did not appear")
        time.sleep(0.5)
        if args.windowed:
            run("xdotool", "mousemove", "--window", setup, "12", "198", "click", "1")
        run("xdotool", "mousemove", "--window", setup, "12", "238", "click", "1")  # WaitRetrace off
        press_start(setup)
        skip_intro()

        start = clock_ms()
        cpu_start = thread_cpu()
        check = None
        if not args.windowed:  # the credits line is below the screen's edge in a window
            time.sleep(3)  # until the credits text fills the line
            check = scroller_rate(10)
        shots = 0
        next_shot = time.time()
        profiled = args.perf <= 0
        while clock_ms() - start < args.seconds * 1000:
            if not profiled and clock_ms() - start > 20000:
                symbols = args.symbols or ("build/win/korvastil-symbols.exe"
                                           if args.exe == "build/win/korvastil.exe" else args.exe)
                perf_profile(args.perf, symbols, os.path.join(SHOTS, "frame-rate-%s-perf.txt" % mode))
                profiled = True
            if shots < 15 and time.time() >= next_shot:
                shoot_one()
                shots += 1
                next_shot = time.time() + 3.5
            time.sleep(0.05)
        end = clock_ms()
        cpu_end = thread_cpu()
        run("xdotool", "key", "Escape")
        game.wait(30)
    finally:
        stop(game)

    rate, frames, span = rate_between(fps_reports(log_path), start, end)
    if rate is None:
        sys.exit("frame rate: Wine reported no frames (log: %s)" % log_path)
    print("%s: %.1f frames per second (%d frames in %.1f s, Wine's fps reports)"
          % (mode, rate, frames, span / 1000.0))
    cpu = cpu_per_frame(cpu_start, cpu_end, frames * (end - start) / span)
    print("%s: CPU per frame (ms): %s" % (mode, ", ".join(
        "%s %.3f" % (k, v) for k, v in sorted(cpu.items(), key=lambda kv: -kv[1]) if v >= 0.005)))
    if check is not None:
        scroller, first, last = check
        same, _, _ = rate_between(fps_reports(log_path), first, last)
        print("%s: credits scroller %.1f frames per second over %.1f s; Wine's reports over "
              "those seconds %.1f (%.1f %% apart)" % (mode, scroller, (last - first) / 1000.0, same,
                                                     100.0 * (scroller - same) / same))


if __name__ == "__main__":
    main()
