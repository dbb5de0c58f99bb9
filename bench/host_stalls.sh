#!/usr/bin/env bash
# How long the host stops this machine, per CPU: bench/host_stalls.sh [SECONDS] (default 60).
# Run it beside bench/longplay.sh to see the stalls its silences come from.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh native --target host_stalls >/dev/null
exec build/native/host_stalls "${1:-60}"
