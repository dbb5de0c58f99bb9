#!/usr/bin/env bash
# Configures (once) and builds a tree: scripts/build.sh native|win|win32|sanitize|fuzz [cmake build args...]
# scripts/build.sh web [target]: the browser build with Emscripten (default target korvastil_web); the
# page's files land in build/web, the build tree is build/web-build.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
kind="$1"; shift
if [ "$kind" = web ]; then
  # Debian's node does not search Debian's module folder, where Emscripten's optimizer finds acorn.
  export NODE_PATH=/usr/share/nodejs
  dir="$root/build/web-build"
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    emcmake cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release >/dev/null
  fi
  [ "${1:-}" = --target ] && shift
  exec cmake --build "$dir" -j"$(nproc)" --target "${1:-korvastil_web}"
fi
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
elif [ "$root/CMakeLists.txt" -nt "$dir/Makefile" ]; then
  cmake "$dir" >/dev/null  # a target added since: make alone would not know it
fi
cmake --build "$dir" -j"$(nproc)" "$@"
