#!/usr/bin/env bash
# How fast zr4812 gets one 300 kB file from the virtual console paced at
# 115200 baud, as a fraction of what the line can carry (875 file bytes in
# 1026 bytes on the wire, 11520 bytes/s).
#   bench/cli_get.sh [PROGRAM]       PROGRAM defaults to build/zr4812
#   ZR_WINE=1 bench/cli_get.sh build/zr4812.exe
#                                    under Wine, the console on COM1 (the
#                                    Wine prefix in WINEPREFIX is set up by
#                                    scripts/test-windows)
set -euo pipefail
cd "$(dirname "$0")/.."
program=${1:-build/zr4812}
work=$(mktemp -d)
sim=
cleanup() {
  [ -n "$sim" ] && kill "$sim" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/card" "$work/internal" "$work/pc"
head -c 300000 /dev/urandom >"$work/card/BIG.kpr"
build/zr4812-sim --card "$work/card" --internal "$work/internal" --baud 115200 >"$work/sim.out" 2>"$work/sim.err" &
sim=$!
for _ in $(seq 100); do [ -s "$work/sim.out" ] && break; sleep 0.1; done
pty=$(head -n 1 "$work/sim.out")
if [ -n "${ZR_WINE:-}" ]; then
  wine=/usr/lib/wine/wine64
  "$wine" reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$pty" /f >/dev/null 2>&1
  /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
  "$wine" cmd /c exit >/dev/null 2>&1 || true # the server up again, before the clock starts
  run=("$wine" "$program" --port COM1 --quiet get BIG.kpr --to 'Z:'"${work//\//\\}"'\pc')
else
  run=("$program" --port "$pty" --quiet get BIG.kpr --to "$work/pc")
fi
start=$(date +%s.%N)
"${run[@]}"
end=$(date +%s.%N)
cmp "$work/card/BIG.kpr" "$work/pc/BIG.kpr"
awk -v s="$start" -v e="$end" 'BEGIN {
  t = e - s; rate = 300000 / t; limit = 11520 * 875 / 1026
  printf "300000 bytes in %.2f s: %.0f bytes/s, %.1f %% of the line'\''s %.0f bytes/s\n", t, rate, 100 * rate / limit, limit }'
