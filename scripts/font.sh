#!/usr/bin/env bash
# Fetches the Impact stand-in once: Anton (OFL) from the npm registry, into build/font as
# Anton.woff2 (served with the web page) and Anton.ttf (installed into Wine).
set -euo pipefail
dir="$(cd "$(dirname "$0")/.." && pwd)/build/font"
[ -s "$dir/Anton.ttf" ] && [ -s "$dir/Anton.woff2" ] && exit 0
mkdir -p "$dir"
cd "$dir"
npm pack --silent @fontsource/anton@5.3.0 >/dev/null 2>&1
tar -xzf fontsource-anton-*.tgz
cp package/files/anton-latin-400-normal.woff2 Anton.woff2
woff2_decompress Anton.woff2 >/dev/null 2>&1
rm -rf package fontsource-anton-*.tgz
[ -s Anton.ttf ] && [ -s Anton.woff2 ]
