#!/usr/bin/env python3
"""Holds the house's order: a file under src/ includes only from its own folder or from a
folder below it. python3 check_includes.py SRC_DIR; prints each include that runs sideways
or upwards and exits 1 when there is any."""
import pathlib
import re
import sys

# Lower numbers lie lower. Folders of one level do not include each other; the edges sit on
# top; the packer's model stands alone (the depacker includes nothing else).
LEVEL = {"platform": 0, "core": 1, "content": 2, "music": 2, "game": 3, "win": 4, "web": 4, "null": 4,
         "pack": 0}


def wrong_includes(src):
    for path in sorted(src.rglob("*")):
        if path.suffix not in (".h", ".cpp"):
            continue
        folder = path.relative_to(src).parts[0]
        for number, line in enumerate(path.read_text().splitlines(), 1):
            m = re.match(r'\s*#\s*include\s+"([^/"]+)/', line)
            if not m:
                continue
            target = m.group(1)
            if target == folder:
                continue
            if target not in LEVEL or folder not in LEVEL or folder == "pack" or LEVEL[target] >= LEVEL[folder]:
                yield f"{path.relative_to(src)}:{number}: {folder}/ includes {target}/"


found = list(wrong_includes(pathlib.Path(sys.argv[1])))
print("\n".join(found + [f"{len(found)} include(s) against the layout"]))
sys.exit(1 if found else 0)
