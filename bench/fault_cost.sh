#!/usr/bin/env bash
# What one fault on the line costs `zr4812 get --all`, against the virtual
# console on an unpaced pseudo-terminal: six one-block Channel Library files
# and two multi-block projects, clean and with each fault once. Prints the
# seconds of each run and what the fault added. Not a test: it only prints.
#
# Usage: bench/fault_cost.sh [build folder, default build]
set -euo pipefail
build=${1:-build}
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$work/card" "$work/internal"
for i in 1 2 3 4 5 6; do head -c $((100 + i * 37)) /dev/urandom >"$work/card/CH$i.kch"; done
head -c 5000 /dev/urandom >"$work/card/SONG1.kpr"
head -c 12000 /dev/urandom >"$work/card/SONG2.kpr"

run() { # name, sim options...
  local name=$1
  shift
  local link=$work/tty-$RANDOM
  "$build/zr4812-sim" --card "$work/card" --internal "$work/internal" --baud 0 --link "$link" "$@" >/dev/null &
  local sim=$!
  for _ in $(seq 50); do [ -e "$link" ] && break; sleep 0.1; done
  rm -rf "$work/pc" && mkdir -p "$work/pc"
  local start end
  start=$(date +%s.%N)
  HOME=$work "$build/zr4812" --port "$link" get --all --to "$work/pc" >/dev/null 2>&1 || echo "$name: zr4812 failed"
  end=$(date +%s.%N)
  kill $sim 2>/dev/null || true
  wait $sim 2>/dev/null || true
  cmp -s <(cat "$work"/card/* | sha256sum) <(for f in "$work"/card/*; do cat "$work/pc/$(basename "$f")"; done | sha256sum) ||
    echo "$name: the files differ"
  echo "$end - $start" | bc
}

clean=$(run clean)
printf '%-28s %6.2f s\n' "clean" "$clean"
while IFS='|' read -r name options; do
  # shellcheck disable=SC2086
  t=$(run "$name" $options)
  printf '%-28s %6.2f s, %+.2f s\n' "$name" "$t" "$(echo "$t - $clean" | bc)"
done <<'CASES'
one damaged block 0|--corrupt-block 0:1
one lost block request|--silent-after block-request:1 --wake-after 20
one lost file request|--silent-after file-request:2 --wake-after 20
one block 0 doubled|--stray-block
an older stray block|--stray-older
CASES
