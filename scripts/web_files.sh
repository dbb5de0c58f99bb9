#!/usr/bin/env bash
# The page's files beside what the linker wrote into build/web: the page, its manifest and icon,
# the font cut to the game's characters with its licence (OFL.txt), the offline worker named by the digest of all of them,
# and a brotli and a gzip copy of each for servers that send them as they are (./run --web).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
web="$root/build/web" src="$root/src/web/page"
# The page without its style sheet's comments, which are for its readers.
sed '/^\/\*.*\*\/$/d' "$src/index.html" >"$web/index.html"
cp "$src/manifest.json" "$src/icon.svg" "$web/"
# The glue and the worker mangled as a whole (Debian's terser): nothing outside a file names its
# variables.
minify() {
  NODE_PATH=/usr/share/nodejs node -e "require('terser').minify(require('fs').readFileSync('$1', 'utf8'),
    { compress: { passes: 3, unsafe_arrows: true, pure_getters: true }, mangle: true, toplevel: true, ecma: 2020,
      format: { wrap_func_args: false } }).then(r => require('fs').writeFileSync('$1', r.code))"
}
minify "$web/game.js"
"$root/scripts/font.sh" --web "$web/anton.woff2"
files=(index.html game.js game.wasm anton.woff2 manifest.json icon.svg)
build="$(cd "$web" && cat "${files[@]}" "$src/sw.js" | sha256sum | cut -c1-16)"
sed "s/@BUILD@/$build/" "$src/sw.js" >"$web/sw.js"
minify "$web/sw.js"
for f in "${files[@]}" sw.js OFL.txt; do
  brotli -q 11 -f -o "$web/$f.br" "$web/$f"
  gzip -9 -n -c "$web/$f" >"$web/$f.gz"
done
