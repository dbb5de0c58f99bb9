#!/usr/bin/env bash
# The web page's speed and size in headless Chromium: bench/web_bench.sh [--seconds N, default 10]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh web
scripts/build.sh web >/dev/null
exec node bench/web_bench.mjs "$@"
