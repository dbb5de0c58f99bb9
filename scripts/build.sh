#!/usr/bin/env bash
# Configures (once) and builds a tree by its preset (CMakePresets.json):
#   scripts/build.sh native|win|win32|sanitize|fuzz|web [cmake --build args...]
# The same as `cmake --preset NAME && cmake --build --preset NAME ...` by hand; the web
# tree's page lands in build/web.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
preset="${1:?usage: scripts/build.sh native|win|win32|sanitize|fuzz|web [cmake --build args...]}"; shift
cd "$root"
dir="$(python3 -c 'import json, sys
p = [c for c in json.load(open("CMakePresets.json"))["configurePresets"] if c["name"] == sys.argv[1]]
print(p[0]["binaryDir"].replace("${sourceDir}", sys.argv[2]) if p else "")' "$preset" "$root")"
[ -n "$dir" ] || { echo "build.sh: no preset '$preset' in CMakePresets.json" >&2; exit 2; }
# Configured once; again when a list has changed since (make alone would not know a new target).
if [ ! -f "$dir/CMakeCache.txt" ] || [ -n "$(find "$root/CMakeLists.txt" "$root/CMakePresets.json" \
     "$root/cmake" "$root/src" "$root/tools" "$root/tests" "$root/bench" -name 'CMake*' -newer "$dir/CMakeCache.txt" -print -quit)" ]; then
  cmake --preset "$preset" >/dev/null
fi
exec cmake --build --preset "$preset" -j"$(nproc)" "$@"
