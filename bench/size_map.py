#!/usr/bin/env python3
"""What the executable is made of: the packed game against its 26 KiB budget, the unpacked
one (stripped) against 64 KiB, what our packer and `xz -9e` with its x86 filter make of the
unpacked one (section by section for ours), its sections, the bytes each origin brought in
(from the link map) and the largest functions and data (from the copy with symbols).

    bench/size_map.sh        (builds both, then runs this)
"""
import collections
import lzma
import os
import re
import subprocess
import sys

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
BUDGET = 26 * 1024
UNPACKED_BUDGET = 64 * 1024


def sections(exe, objdump):
    out = subprocess.run([objdump, "-h", exe], capture_output=True, text=True).stdout
    rows = []
    for line in out.splitlines():
        parts = line.split()
        if len(parts) >= 7 and parts[0].isdigit():
            rows.append((parts[1], int(parts[2], 16)))
    return rows


def origin(path):
    name = path.rsplit("/", 1)[-1]
    if "ltrans" in name:
        return "the game's code and data (optimised at link time)"
    if "song_image" in name:
        return "the song (song.xm, embedded)"
    if "interface_ids" in name:
        return "the two interface identifiers"
    m = re.match(r"lib(\w+)\.a\((.*)\)", name)
    if m:
        library = m.group(1)
        if library in ("mingwex", "mingw32", "gcc", "msvcrt"):
            return "C runtime: math (sin, cos, exp2) and helpers"
        if library.startswith("kora") or library.startswith("korva"):
            return "the game's code and data (optimised at link time)"
        return "import thunks and names (system DLLs)"
    if name in ("dll",) or name.endswith(".o") and "dll" in name:
        return "import thunks and names (system DLLs)"
    return "other (" + name + ")"


def by_origin(map_path):
    text = open(map_path, errors="replace").read()
    text = text.split("Linker script and memory map", 1)[1]
    sizes = collections.Counter()
    pending = None
    for line in text.splitlines():
        m = re.match(r"^ (\.\S+)\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S+)", line)
        if not m:
            head = re.match(r"^ (\.\S+)$", line.rstrip())
            if head:
                pending = head.group(1)
                continue
            cont = re.match(r"^\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S+)", line)
            if not (cont and pending):
                pending = None
                continue
            section, size, path = pending, int(cont.group(2), 16), cont.group(3)
        else:
            section, size, path = m.group(1), int(m.group(3), 16), m.group(4)
        pending = None
        if section.startswith((".bss", ".debug")) or size == 0:
            continue
        sizes[origin(path)] += size
    return sizes


def largest(symbols_exe, nm, count):
    out = subprocess.run([nm, "-S", "--size-sort", "-C", symbols_exe], capture_output=True,
                         text=True).stdout
    rows = []
    for line in out.splitlines():
        parts = line.split(None, 3)
        if len(parts) == 4 and parts[2] not in "bBN" and not parts[3].startswith("."):
            rows.append((int(parts[1], 16), parts[2], parts[3]))
    return sorted(rows, reverse=True)[:count]


def main():
    win = os.path.join(ROOT, "build", "win")
    packed = os.path.join(win, "korvastil.exe")
    exe = os.path.join(win, "korvastil-unpacked.exe")
    size = os.path.getsize(packed)
    print("korvastil.exe, x86-64, packed: %d bytes (%.1f KiB); budget %d: %d bytes (%.1f %%) below"
          % (size, size / 1024, BUDGET, BUDGET - size, 100.0 * (BUDGET - size) / BUDGET))
    unpacked = os.path.getsize(exe)
    print("korvastil-unpacked.exe, stripped: %d bytes (%.1f KiB); budget %d" % (unpacked, unpacked / 1024,
                                                                            UNPACKED_BUDGET))
    raw = open(exe, "rb").read()
    proxy = lzma.compress(raw, format=lzma.FORMAT_RAW, filters=[
        {"id": lzma.FILTER_X86}, {"id": lzma.FILTER_LZMA2, "preset": 9 | lzma.PRESET_EXTREME}])
    print("  xz -9e with the x86 filter (raw) makes %d bytes of it" % len(proxy))
    out = subprocess.run([os.path.join(win, "host", "korvapack"), exe,
                          os.path.join(win, "korvastil-depacker.exe"), os.path.join(win, "size-map-packed.exe")],
                         capture_output=True, text=True).stdout
    os.remove(os.path.join(win, "size-map-packed.exe"))
    stream = int(re.search(r"stream (\d+)", out).group(1))
    print("  korvapack's stream: %d bytes, %.1f %% under xz; the depacker's code %s bytes"
          % (stream, 100.0 * (len(proxy) - stream) / len(proxy), re.search(r"depacker (\d+)", out).group(1)))
    print("  what each part of the image costs in the stream (bytes in -> bytes out):")
    for line in out.splitlines()[:-1]:
        print("  " + line)
    exe32 = os.path.join(ROOT, "build", "win32", "korvastil.exe")
    if os.path.exists(exe32):
        size32 = os.path.getsize(exe32)
        print("korvastil.exe, i686, stripped:   %d bytes (%.1f KiB), same source (no link-time "
              "optimisation)" % (size32, size32 / 1024))

    print("\nsections of the x86-64 executable (bytes; .bss is not stored in the file)")
    for name, length in sections(exe, "x86_64-w64-mingw32-objdump"):
        print("  %-8s %7d" % (name, length))

    print("\nby origin (bytes of code and data the link kept)")
    origins = by_origin(os.path.join(win, "korvastil.map"))
    for name, length in origins.most_common():
        print("  %7d  %s" % (length, name))

    print("\nthe largest functions and data (T code, R read-only data, D data)")
    for length, kind, name in largest(os.path.join(win, "korvastil-symbols.exe"),
                                      "x86_64-w64-mingw32-nm", int(sys.argv[1]) if len(sys.argv) > 1 else 20):
        print("  %6d %s  %s" % (length, kind, name))


if __name__ == "__main__":
    main()
