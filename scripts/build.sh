#!/usr/bin/env bash
# Configures (once) and builds a target tree: scripts/build.sh native|win [cmake build args...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
kind="$1"; shift
dir="$root/build/$kind"
if [ ! -f "$dir/CMakeCache.txt" ]; then
  args=(-DCMAKE_BUILD_TYPE=Release)
  [ "$kind" = win ] && args+=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake")
  cmake -S "$root" -B "$dir" "${args[@]}" >/dev/null
fi
cmake --build "$dir" -j"$(nproc)" "$@"
