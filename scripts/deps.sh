#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those that are missing.
# Usage: scripts/deps.sh [build|run|web|test|bench]   (default: test; bench adds the benchmarks' peers
# and profilers and the 32-bit cross compiler; web is Emscripten and the browser the web tier drives,
# with playwright-core in node_modules as package-lock.json pins it, and fonttools, brotli and terser that
# cut the font, pre-compress the page's files and mangle its glue)
set -euo pipefail

want=(cmake make g++ googletest g++-mingw-w64-x86-64-posix wine wine64 xvfb woff2 npm imagemagick xdotool)
kind="${1:-test}"
case "$kind" in
  build|run) ;;
  web) want=(cmake make npm woff2 emscripten chromium python3-fonttools python3-brotli brotli node-terser) ;;
  test|bench) want+=(libstb-dev clang libclang-rt-14-dev tesseract-ocr python3 pulseaudio pulseaudio-utils
                     emscripten chromium python3-fonttools python3-brotli brotli node-terser) ;;&
  test) ;;
  bench) want+=(libxmp-dev libopenmpt-dev valgrind linux-perf g++-mingw-w64-i686-posix) ;;
  *) echo "usage: $0 [build|run|web|test|bench]" >&2; exit 2 ;;
esac

missing=()
for p in "${want[@]}"; do
  # npm may come with a nodejs of another origin; the command is what counts.
  if [ "$p" = npm ] && command -v npm >/dev/null 2>&1; then continue; fi
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
    echo "Installing with sudo: ${missing[*]}"
  else
    echo "Installing: ${missing[*]}"
  fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The browser tier's driver: exactly the locked version, and never a browser of its own
# (it drives Debian's chromium).
case "$kind" in
  web|test|bench)
    web="$(cd "$(dirname "$0")/.." && pwd)"
    if [ ! -f "$web/node_modules/playwright-core/package.json" ]; then
      echo "Installing playwright-core into node_modules"
      (cd "$web" && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund --silent)
    fi ;;
esac
