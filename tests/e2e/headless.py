#!/usr/bin/env python3
"""./run with no display: it says so, plays on a virtual display of its own, keeps
screenshots and ends with the game's exit code; a game that does not start or quit is ended."""
import glob
import os
import re
import subprocess
import time

from harness import ROOT, Checks, press_start, run, until, window

check = Checks("headless")
run("wineserver", "-k")  # the prefix's server belongs to the display it started on
run("wineserver", "-w")
log = open(os.path.join(ROOT, "build", "screens", "e2e-headless-run.log"), "w+")
env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "KORVA_VIRTUAL_DISPLAY")}
runner = subprocess.Popen(["./run"], cwd=ROOT, env=env, stdout=log, stderr=subprocess.STDOUT)
said = lambda: log.seek(0) or log.read()  # noqa: E731
display = until(lambda: (re.findall(r"virtual display \((:\d+)\)", said()) or [None])[0], 60)
if check("./run says there is no display and names the virtual one", display is not None):
    os.environ["DISPLAY"] = display
    setup = window("Direct device setup", 60)  # a click the moment it maps can be lost
    main = setup and (time.sleep(0.5) or press_start(setup) or press_start(setup))
    if check("Start opens the game window on it", main is not None):
        time.sleep(10)  # two screenshots
        until(lambda: run("xdotool", "key", "--window", main, "Escape") or runner.poll() is not None, 20, 2)
try:
    code = runner.wait(20)
except subprocess.TimeoutExpired:
    run("wineserver", "-k")
    runner.kill()
    code = runner.wait()
check("./run ends with the game's exit code 0 (got %s)" % code, code == 0)
shots = len(glob.glob(os.path.join(ROOT, "build", "screens", "run-*.png")))
check("./run saved screenshots (%d) and said where" % shots, shots >= 2 and "screenshot(s) in" in said())
if check.failed:
    print("--- ./run said:\n" + said())
check.finish()
