#!/usr/bin/env bash
# Configures (once) and builds a tree: scripts/build.sh native|win|win32|sanitize|fuzz [cmake build args...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
kind="$1"; shift
dir="$root/build/$kind"
if [ ! -f "$dir/CMakeCache.txt" ]; then
  args=(-DCMAKE_BUILD_TYPE=Release)
  case "$kind" in
    win) args+=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake") ;;
    win32) args+=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-i686.cmake") ;;
    sanitize) args+=(-DKORVA_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
    fuzz) args+=(-DKORVA_FUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++) ;;
  esac
  cmake -S "$root" -B "$dir" "${args[@]}" >/dev/null
fi
cmake --build "$dir" -j"$(nproc)" "$@"
