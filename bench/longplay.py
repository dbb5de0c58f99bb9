#!/usr/bin/env python3
"""Long play under Wine, as a player: random and aimed shots for the given minutes (levels
are cleared, deaths happen), then Escape. Reports whether the game kept running and quit
cleanly, its working set over time, and what the sound device played against the song:
the silences the output path inserted (heard as crackles), per minute, with the frame rate
(Wine's fps reports), the CPU per frame, the machine's load and how the sound server and
Wine's audio threads were scheduled beside them, so that each remedy shows what it costs,
and the time the hypervisor took from the machine, which no priority can make up for.
--stall MS:S stops the game, Wine and the sound server together for MS milliseconds every S
seconds, as such a host does, so that a remedy can be measured against stalls of a known length.
Usage: bench/longplay.sh [--minutes N] [--csmt on|off] [--stall MS:S]"""
import argparse
import os
import random
import signal
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts"))
from player import (RATE, H, ROOT, SHOTS, W, Checks, recording, check_song, clock_units, ends_with,  # noqa: E402
                    fire, in_our_prefix, our_games, press_start, quit_by, run, skip_intro, stop, target_box,
                    window)
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from frame_rate import clock_ms, cpu_per_frame, fps_reports, rate_between, thread_cpu  # noqa: E402

options = argparse.ArgumentParser()
options.add_argument("--minutes", type=float, default=5.0)
options.add_argument("--csmt", choices=("on", "off"), default=None,
                     help="Direct3D's command-stream thread (default: as ./run sets it)")
options.add_argument("--stall", default=None, metavar="MS:S",
                     help="stop the game, Wine and the sound server for MS ms every S s")
args = options.parse_args()


def set_csmt(on):
    subprocess.run(["wine", "reg", "add", r"HKCU\Software\Wine\Direct3D", "/v", "csmt", "/t", "REG_DWORD",
                    "/d", "1" if on else "0", "/f"], capture_output=True)


if args.csmt:
    set_csmt(args.csmt == "on")
check = Checks("longplay")
random.seed(7)


def resident_kib(pid):
    with open("/proc/%d/status" % pid) as f:
        return next(int(line.split()[1]) for line in f if line.startswith("VmRSS:"))


def audio_scheduling(pid):
    """How Linux schedules the sound server's threads, Wine's named audio threads and the game's."""
    found = []
    server = run("pgrep", "-f", "pulseaudio.*" + os.path.dirname(os.environ.get("WINEPREFIX", "")) + "/pulse/")
    for p, only in ((pid, ("winepulse", "korva audio")), *((s, "") for s in server.split())):
        for tid in os.listdir("/proc/%s/task" % p):
            try:
                comm = open("/proc/%s/task/%s/comm" % (p, tid)).read().strip()
                fields = open("/proc/%s/task/%s/stat" % (p, tid)).read().rsplit(")", 1)[1].split()
            except OSError:
                continue
            if comm.startswith(only):
                nice, rt, policy = int(fields[16]), int(fields[37]), int(fields[38])
                found.append("%s %s" % (comm, ("FIFO %d" % rt, "RR %d" % rt)[policy - 1]
                                        if policy in (1, 2) else "nice %d" % nice))
    return ", ".join(found)


def stream_latency():
    """The game's stream as the sound server has it: its buffer and the sink's latency."""
    lines = run("pactl", "list", "sink-inputs").splitlines()
    return "; ".join(line.strip() for line in lines if "Latency" in line)


def host_steal():
    """The share of each second the hypervisor gave this machine's CPUs to others (steal
    time): then no thread runs, whatever its priority, and a 10 ms sound buffer runs dry."""
    shares, last = [], None
    while not steal_done.is_set():
        with open("/proc/stat") as f:
            ticks = [int(v) for v in f.readline().split()[1:9]]
        if last:
            spent = sum(ticks) - sum(last)
            shares.append((ticks[7] - last[7]) / spent if spent else 0.0)
        last = ticks
        steal_done.wait(1.0)
    return shares


steal_done, steal = threading.Event(), []
steal_thread = threading.Thread(target=lambda: steal.extend(host_steal()), daemon=True)
steal_thread.start()


def signal_if_there(pid, sig):
    try:
        os.kill(pid, sig)
    except OSError:  # it has ended meanwhile
        pass


def stalls(ms, every):
    """Stops every process of this Wine prefix and the environment's sound server at once,
    as a hypervisor that takes the machine's CPUs does, and counts the stalls."""
    server = os.path.dirname(os.environ.get("WINEPREFIX", "")) + "/pulse/native"
    count = 0
    while not steal_done.wait(every):
        wine = in_our_prefix(r"wineserver|\.exe")
        group = [int(p) for p in wine + run("pgrep", "-f", "pulseaudio.*" + server).split()]
        try:
            for pid in group:
                signal_if_there(pid, signal.SIGSTOP)
            time.sleep(ms / 1000)
        finally:
            for pid in group:
                signal_if_there(pid, signal.SIGCONT)
        count += 1
    print("stalls: %d of %d ms, every %.1f s" % (count, ms, every), flush=True)


if args.stall:
    stall_ms, stall_every = args.stall.split(":")
    stall_thread = threading.Thread(target=stalls, args=(float(stall_ms), float(stall_every)))

# Wine's fps channel counts the frames, as in bench/frame_rate.py; the setup window's defaults.
log_path = os.path.join(SHOTS, "longplay-wine.log")
sound, recorded = recording("longplay"), time.time()
with open(log_path, "w") as log:
    game = subprocess.Popen([os.environ.get("KORVA_WINE", "wine"), "build/win/korvastil.exe"], cwd=ROOT,
                            env=dict(os.environ, WINEDEBUG="-all,+timestamp,+tid,+fps"), stderr=log)
setup = window("Direct device setup", 60)
time.sleep(0.5)  # a click the moment the window maps can be lost
samples, shots, load = [], 0, [os.getloadavg()[0]]
try:
    main = press_start(setup)
    skip_intro()
    if args.stall:
        stall_thread.start()
    began, first_ms, cpu_first = time.time(), clock_ms(), thread_cpu()
    while time.time() - began < args.minutes * 60 and game.poll() is None:
        if len(samples) * 10 <= time.time() - began:
            samples.append(resident_kib(game.pid))
            load.append(os.getloadavg()[0])
            if len(samples) == 3:
                print("sound: %s; %s" % (stream_latency(), audio_scheduling(game.pid)), flush=True)
        if random.random() < 0.5:
            fire(random.randrange(W), random.randrange(H))
        else:  # along a target's path at level 1
            x, y, _ = target_box(random.randrange(20), 0.7 * (clock_units() + 0.015))
            fire(min(max(x, 1), W - 1), min(max(y, 1), H - 1))
        shots += 1
        time.sleep(random.uniform(0.05, 0.6))
    last_ms, cpu_last = clock_ms(), thread_cpu()
    check("the game ran %.1f minutes (%d shots)" % (args.minutes, shots), game.poll() is None)
    rate, frames, span = rate_between(fps_reports(log_path), first_ms, last_ms)
    if rate:
        cpu = cpu_per_frame(cpu_first, cpu_last, frames * (last_ms - first_ms) / span)
        print("frames: %.1f a second; CPU per frame (ms): %.2f in all (%s); load average %.1f to %.1f"
              % (rate, sum(cpu.values()), ", ".join("%s %.2f" % kv for kv in sorted(cpu.items(), key=lambda kv: -kv[1])
                                                    if kv[1] >= 0.005), min(load), max(load)), flush=True)
    later = samples[6:] or samples
    print("working set: %d KiB at 1 min, at most %d KiB, %d KiB at the end" % (later[0], max(later), later[-1]))
    quit_by("Escape", main)
    code = ends_with(game, 20)
    check("Escape ends it with exit code 0 (got %s)" % code, code == 0)
finally:
    stop(game)
    check("no process left", not our_games())
    played = sound()
    steal_done.set()
    steal_thread.join()
    if args.stall and stall_thread.is_alive():
        stall_thread.join()
    if steal:
        print("host: %.1f%% of the CPU time stolen by the hypervisor; at most %.0f%% in a second, %d seconds"
              " of %d with 5%% or more" % (100 * sum(steal) / len(steal), 100 * max(steal),
                                           sum(share >= 0.05 for share in steal), len(steal)), flush=True)
    lead = len(played) - len(played.lstrip(b"\0"))
    print("the song began at %.3f (the silences below are at seconds of the song)" % (recorded + lead / 4 / RATE))
    check_song(check, played, "longplay", 60 * args.minutes * 0.9)
if args.csmt:
    set_csmt(False)  # the environment's own setting again
check.finish()
