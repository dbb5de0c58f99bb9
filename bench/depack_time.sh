#!/usr/bin/env bash
# The depacker's time under Wine: from its scratch allocation (16 MiB and more) to the first
# library the game's imports load (DDRAW): decoding and the code filter. One figure a run, in
# ms, from Wine's trace: bench/depack_time.sh [runs, default 5]
set -uo pipefail
cd "$(dirname "$0")/.."
KORVA_QUIET=1 . scripts/wine-env.sh
n=${1:-5}; out=()
log="$(mktemp)"; trap 'rm -f "$log"' EXIT
for i in $(seq "$n"); do
  WINEDEBUG=-all,+timestamp,+virtual,+loaddll timeout 6 wine build/win/korvastil.exe > /dev/null 2> "$log"
  wineserver -k >/dev/null 2>&1
  ms=$(LOG="$log" python3 - <<'PY'
import os, re
t0=t1=None
for line in open(os.environ['LOG'], errors='replace'):
    m=re.match(r'\s*(\d+\.\d+):', line)
    if not m: continue
    t=float(m.group(1))
    if t0 is None and re.search(r'NtAllocateVirtualMemory \S+ \(nil\) 01[0-9a-f]{6} 3000', line):
        t0=t
    if t0 is not None and t1 is None and 'Loaded' in line and 'ddraw' in line.lower():
        t1=t
print(round((t1-t0)*1000) if t0 and t1 else -1)
PY
)
  out+=("$ms")
done
echo "${out[@]}"
[ -n "${KORVA_XVFB_PID:-}" ] && korva_wine_stop
