#!/usr/bin/env bash
# Fetches the Impact stand-in once: Anton (OFL) from the npm registry, into build/font as
# Anton.woff2 and Anton.ttf (installed into Wine), with its licence, OFL.txt, which every copy
# of the font carries.
# scripts/font.sh --web OUT.woff2: also cuts it to the characters the game writes, for the page:
# every character of the string literals in the files that draw text, and the digits and the
# minus sign of the numbers they format: outlines and spacing only, as the game draws text on
# Windows (GDI's TextOut applies neither the font's kerning nor its ligatures; a canvas would), and
# no hinting, which the page's browsers do not use.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
dir="$root/build/font"
if ! [ -s "$dir/Anton.ttf" ] || ! [ -s "$dir/Anton.woff2" ] || ! [ -s "$dir/OFL.txt" ]; then
  mkdir -p "$dir"
  (cd "$dir"
   npm pack --silent @fontsource/anton@5.3.0 >/dev/null 2>&1
   tar -xzf fontsource-anton-*.tgz
   cp package/files/anton-latin-400-normal.woff2 Anton.woff2
   cp package/LICENSE OFL.txt
   woff2_decompress Anton.woff2 >/dev/null 2>&1
   rm -rf package fontsource-anton-*.tgz)
  [ -s "$dir/Anton.ttf" ] && [ -s "$dir/Anton.woff2" ] && [ -s "$dir/OFL.txt" ]
fi
[ "${1:-}" = --web ] || exit 0
out="$2"
text="$(cd "$root/src" && grep -hv '^#include' game/*.cpp | grep -o '"[^"]*"' | tr -d '"\n')0123456789-"
# Debian's fonttools is a module of the system's python (another python3 may come first in PATH).
/usr/bin/python3 -m fontTools.subset "$dir/Anton.ttf" --text="$text" --flavor=woff2 --no-hinting --layout-features='' \
  --output-file="$out.tmp"
mv "$out.tmp" "$out"
cp "$dir/OFL.txt" "$(dirname "$out")/OFL.txt"
