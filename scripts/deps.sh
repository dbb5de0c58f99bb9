#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those that are missing.
# Usage: scripts/deps.sh [build|run|test|bench]   (default: test; bench adds the benchmarks' peers
# and profilers and the 32-bit cross compiler)
set -euo pipefail

want=(cmake make g++ googletest g++-mingw-w64-x86-64-posix wine wine64 xvfb woff2 npm imagemagick xdotool)
case "${1:-test}" in
  build|run) ;;
  test|bench) want+=(libstb-dev clang libclang-rt-14-dev tesseract-ocr python3 pulseaudio pulseaudio-utils) ;;&
  test) ;;
  bench) want+=(libxmp-dev libopenmpt-dev valgrind linux-perf g++-mingw-w64-i686-posix) ;;
  *) echo "usage: $0 [build|run|test|bench]" >&2; exit 2 ;;
esac

missing=()
for p in "${want[@]}"; do
  # npm may come with a nodejs of another origin; the command is what counts.
  if [ "$p" = npm ] && command -v npm >/dev/null 2>&1; then continue; fi
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
  echo "Installing with sudo: ${missing[*]}"
else
  echo "Installing: ${missing[*]}"
fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
