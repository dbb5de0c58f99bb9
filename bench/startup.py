#!/usr/bin/env python3
"""Start-up times of the game under Wine on the virtual display, full screen, median of
several runs, for the packed game and the unpacked one beside it:

    bench/startup.sh [runs, default 5]   (each program that many times, alternating)

The packed program's start differs from the unpacked one's by its depacking alone (the
depacker rebuilds the image, then enters it): the difference of their first lines is the
time from process start to the game's entry point, beyond what the unpacked one takes.

The moments come from Wine's own trace with timestamps (channels win and ddraw), on the
same millisecond clock as this script's: the setup window's creation, the main window's
creation, the first Flip (the "Loading" frame) and the second Flip (the first frame of the
title screen). Process start is when this script starts Wine; the click on Start is sent
by xdotool. Between the click and the main window Wine waits for a window manager to
withdraw the setup window; the virtual display has none, so that wait runs to Wine's
timeout (about 2 seconds). Nothing of it happens on Windows; it is shown on its own line.
"""
import os
import re
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts"))
from player import ROOT, SHOTS, clock_units, run, stop, window  # noqa: E402


def clock_ms():
    return clock_units() * 2000.0


def moments(log_path):
    """Clock ms of the setup window, the main window, the first and the second Flip."""
    found = {}
    flips = []
    stamp = re.compile(r"^\s*(\d+)\.(\d+):")
    with open(log_path, errors="replace") as log:
        for line in log:
            m = stamp.match(line)
            if not m:
                continue
            ms = int(m.group(1)) * 1000 + int(m.group(2))
            if "WIN_CreateWindowEx \"Direct device setup\"" in line:
                found.setdefault("setup", ms)
            elif "WIN_CreateWindowEx \"Korvastil is mad\"" in line:
                found.setdefault("main", ms)
            elif "trace:ddraw:ddraw_surface7_Flip" in line:
                flips.append(ms)
            elif "trace:win:" in line and "apply_window_pos" in line and "main" not in found:
                found["withdraw"] = ms  # the last window change before the main window
    if len(flips) >= 2:
        found["loading"], found["title"] = flips[0], flips[1]
    return found


def one_run(exe, index):
    log_path = os.path.join(SHOTS, "startup-%d.log" % index)
    env = dict(os.environ, WINEDEBUG="-all,+timestamp,trace+win,trace+ddraw",
               KORVA_AUDIO_FILE=os.path.join(SHOTS, "startup-audio.raw"))
    spawn = clock_ms()
    with open(log_path, "w") as log:
        game = subprocess.Popen([os.environ.get("KORVA_WINE", "wine"), exe],
                                cwd=ROOT, env=env, stderr=log)
    try:
        setup = window("Direct device setup", 60)
        if not setup:
            return None
        time.sleep(1.0)
        click = clock_ms()
        run("xdotool", "mousemove", "--window", setup, "127", "265", "click", "1")
        time.sleep(5)
        run("xdotool", "key", "Escape")
        game.wait(30)
    finally:
        stop(game)
    m = moments(log_path)
    if not all(k in m for k in ("setup", "main", "loading", "title")):
        return None
    return {
        "process start -> setup window": m["setup"] - spawn,
        "click on Start -> main window": m["main"] - click,
        "  of which Wine's wait for a window manager": m["main"] - m.get("withdraw", m["main"]),
        "main window -> \"Loading\" frame presented": m["loading"] - m["main"],
        "click on Start -> \"Loading\" frame": m["loading"] - click,
        "\"Loading\" frame -> first title frame": m["title"] - m["loading"],
        "click on Start -> first title frame": m["title"] - click,
    }


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 5
    first = {}
    programs = ("build/win/korvastil.exe", "build/win/korvastil-unpacked.exe")
    # Alternating, so that a change in the machine's load falls on both alike.
    done = {exe: [] for exe in programs}
    for i in range(runs):
        for exe in programs:
            done[exe].append(one_run(exe, i))
    for exe in programs:
        results = [r for r in done[exe] if r]
        if not results:
            sys.exit("startup: no run of %s produced the trace it needs" % exe)
        print("%s (%d bytes): start-up under Wine, full screen, median of %d runs (ms)"
              % (exe, os.path.getsize(os.path.join(ROOT, exe)), len(results)))
        for key in results[0]:
            values = [r[key] for r in results]
            print("  %-46s %7.0f   (%s)" % (key, statistics.median(values),
                                             " ".join("%.0f" % v for v in values)))
        first[exe] = statistics.median(r["process start -> setup window"] for r in results)
    print("depacking (packed - unpacked, process start -> setup window): %.0f ms"
          % (first["build/win/korvastil.exe"] - first["build/win/korvastil-unpacked.exe"]))


if __name__ == "__main__":
    main()
