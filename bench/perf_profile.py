#!/usr/bin/env python3
"""Where the time went in a system-wide perf recording of the game under Wine, by thread
and function, with the Windows modules' functions named.

    bench/perf_profile.py PERF_DATA SYMBOLS_EXE [--top N]

perf names functions of ELF objects only. Wine's own DLLs are PE files with symbol tables:
their samples come as offsets into the image, looked up here with nm. The game is loaded at
its preferred base outside any file mapping, so its samples come as plain addresses, looked
up in the copy of the executable that keeps its symbols (SYMBOLS_EXE).
"""
import argparse
import bisect
import collections
import re
import subprocess

NM = "x86_64-w64-mingw32-nm"
OBJDUMP = "x86_64-w64-mingw32-objdump"


class PeSymbols:
    """Function lookup in a PE file, by offset from its image base."""

    def __init__(self, path):
        base = 0
        for line in subprocess.run([OBJDUMP, "-p", path], capture_output=True, text=True).stdout.splitlines():
            if line.startswith("ImageBase"):
                base = int(line.split()[1], 16)
                break
        self.base = base
        entries = []
        out = subprocess.run([NM, "-n", "--defined-only", "-C", path], capture_output=True, text=True).stdout
        for line in out.splitlines():
            parts = line.split(None, 2)
            if len(parts) == 3 and parts[1] in "tT" and not parts[2].startswith("."):
                entries.append((int(parts[0], 16) - base, parts[2]))
        self.starts = [e[0] for e in entries]
        self.names = [e[1] for e in entries]

    def name(self, address):
        offset = address - self.base if address >= self.base else address  # absolute or not
        i = bisect.bisect_right(self.starts, offset) - 1
        return self.names[i] if i >= 0 else None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("data")
    parser.add_argument("symbols_exe")
    parser.add_argument("--top", type=int, default=12)
    args = parser.parse_args()

    game = PeSymbols(args.symbols_exe)
    pe_cache = {}
    script = subprocess.run(["perf", "script", "-i", args.data, "-F", "comm,tid,ip,sym,dso", "-G"],
                            capture_output=True, text=True, errors="replace").stdout
    sample = re.compile(r"^\s*(.+?)\s+(\d+)\s+([0-9a-f]+)\s+(.*?)\s+\((.*)\)\s*$")
    by_thread = collections.Counter()
    by_function = collections.defaultdict(collections.Counter)
    total = 0
    for line in script.splitlines():
        m = sample.match(line)
        if not m:
            continue
        comm, tid, ip, sym, dso = m.group(1), m.group(2), int(m.group(3), 16), m.group(4), m.group(5)
        module = dso.rsplit("/", 1)[-1]
        if dso.startswith("/tmp/perf-") and game.base <= ip < game.base + 0x1000000:
            module, sym = "korvastil.exe", game.name(ip) or "?"
        elif module.endswith((".dll", ".exe", ".drv")) and sym == "[unknown]":
            if dso not in pe_cache:
                try:
                    pe_cache[dso] = PeSymbols(dso)
                except OSError:
                    pe_cache[dso] = None
            found = pe_cache[dso].name(ip) if pe_cache[dso] else None
            sym = found or "?"
        elif sym == "[unknown]":
            sym = "(no symbols)"
        if module.startswith("perf-"):
            module = "JIT code (llvmpipe shaders)"
            sym = ""
        thread = "%s/%s" % (comm, tid)
        by_thread[thread] += 1
        by_function[thread][(module + ":" + sym) if sym else module] += 1
        total += 1

    print("%d samples, all processes" % total)
    print("\nby thread")
    for thread, n in by_thread.most_common(args.top):
        print("  %6.2f %%  %s" % (100.0 * n / total, thread))
    for thread, n in by_thread.most_common(6):
        modules = collections.Counter()
        for function, k in by_function[thread].items():
            modules[function.split(":", 1)[0]] += k
        print("\n%s: %.2f %% of all samples; its modules" % (thread, 100.0 * n / total))
        for module, k in modules.most_common(6):
            print("  %6.2f %%  %s" % (100.0 * k / n, module))
        print("  %6.2f %%  the game's own code (korvastil.exe)" % (100.0 * modules["korvastil.exe"] / n))
        print("its functions")
        for function, k in by_function[thread].most_common(args.top):
            print("  %6.2f %%  %s" % (100.0 * k / n, function))


if __name__ == "__main__":
    main()
