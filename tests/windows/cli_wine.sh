#!/usr/bin/env bash
# zr4812.exe end to end under Wine: a zr4812-sim of its own behind COM1 (its
# pseudo-terminal mapped in Wine's registry), and each command run as a
# Windows user would run it, with Windows paths. Called by
# scripts/test-windows with WINEPREFIX set up; prints one line per check and
# exits non-zero when one fails.
#   tests/windows/cli_wine.sh build/zr4812.exe
set -uo pipefail
cd "$(dirname "$0")/../.."
exe=$(realpath "$1")
# Wine reads the arguments' bytes in the locale's encoding.
export LANG=C.UTF-8 LC_ALL=C.UTF-8
wine=/usr/lib/wine/wine64
work=$(mktemp -d)
drive_c=$WINEPREFIX/drive_c
sims=()
failed=0
cleanup() {
  for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work" "$drive_c/zr"
}
trap cleanup EXIT

check() { # check NAME CONDITION...
  local name=$1
  shift
  if "$@"; then
    echo "ok      $name"
  else
    echo "FAILED  $name"
    echo "        exit $code; stdout: $(head -c 400 "$work/out"); stderr: $(head -c 400 "$work/err")"
    failed=1
  fi
}

make_file() { # make_file PATH SIZE: random bytes
  mkdir -p "$(dirname "$1")"
  head -c "$2" /dev/urandom >"$1"
}

# A console with a few card files and every internal kind, on COM1.
start_console() { # start_console NAME SIM-OPTIONS...
  local name=$1
  shift
  local c=$work/$name
  mkdir -p "$c/card" "$c/internal"
  "$PWD/build/zr4812-sim" --card "$c/card" --internal "$c/internal" --log "$c/sim.log" "$@" \
    >"$c/sim.out" 2>"$c/sim.err" &
  sims+=($!)
  for _ in $(seq 100); do [ -s "$c/sim.out" ] && break; sleep 0.1; done
  "$wine" reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$(head -n 1 "$c/sim.out")" /f >/dev/null 2>&1
  # The mapping is read when the Wine server starts.
  /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
  /usr/lib/wine/wineserver -w >/dev/null 2>&1 || true
}

# Runs zr4812.exe in folder $here; exit code in $code, output in $work/out, $work/err.
here=$work
zr() {
  (cd "$here" && "$wine" "$exe" "$@" >"$work/out" 2>"$work/err")
  code=$?
}
out_has() { grep -qF -- "$1" "$work/out"; }
err_has() { grep -qF -- "$1" "$work/err"; }
same() { cmp -s "$1" "$2"; }
on_card() { # whether a card file holds the bytes of file $1
  local f
  for f in "$card"/*; do cmp -s "$f" "$1" && return 0; done
  return 1
}

card=$work/one/card internal=$work/one/internal
make_file "$card/SONG1.kpr" 48000
make_file "$card/VOCALS.kch" 3100
make_file "$card/TINY.ksu" 5
for ext in kpr kch keq kcg kfx ka ksn ksu kex; do make_file "$internal/internal.$ext" 1000; done
start_console one --baud 0

zr ports
check "ports names COM1" out_has "COM1"$'\t'"COM1"

zr --port COM1 list
# Windows ends lines with CR LF.
check "list" [ $code -eq 0 -a "$(tr -d '\r' <"$work/out")" = $'SONG1.kpr\tProject (all)\nTINY.ksu\tSetup\nVOCALS.kch\tChannel Library' ]

mkdir -p "$drive_c/zr/got"
zr --port COM1 get --all --to 'C:\zr\got'
check "get --all to C:\\zr\\got, byte for byte" eval '[ $code -eq 0 ] && same "$drive_c/zr/got/SONG1.kpr" "$card/SONG1.kpr" &&
  same "$drive_c/zr/got/VOCALS.kch" "$card/VOCALS.kch" && same "$drive_c/zr/got/TINY.ksu" "$card/TINY.ksu"'
zr --port COM1 get TINY.ksu --to 'C:\zr\got'
check "get never replaces without --replace (exit 1)" eval '[ $code -eq 1 ] && err_has "TINY.ksu: skipped"'

# Names outside ASCII, in the folder given and in the file's own name.
mkdir -p "$drive_c/zr/Grüße"
zr --port COM1 get VOCALS.kch --to 'C:\zr\Grüße'
check "get to C:\\zr\\Grüße" eval '[ $code -eq 0 ] && same "$drive_c/zr/Grüße/VOCALS.kch" "$card/VOCALS.kch"'
make_file "$work/pc/Größe/Lead Vox.kch" 20000
zr --port COM1 put "Z:${work//\//\\}\\pc\\Größe\\Lead Vox.kch"
check "put Z:\\…\\Größe\\Lead Vox.kch" eval '[ $code -eq 0 ] && same "$card/lead_vox.kch" "$work/pc/Größe/Lead Vox.kch"'
make_file "$work/pc/Ärger.kch" 900
here=$work/pc
zr --port COM1 put "Ärger.kch"
# A file named outside ASCII reaches the card under its short name.
check "put Ärger.kch from the current folder" eval '[ $code -eq 0 ] && on_card "$work/pc/Ärger.kch"'

zr --port COM1 backup ksu 'C:\zr\setup.ksu'
check "backup ksu to C:\\zr\\setup.ksu" eval '[ $code -eq 0 ] && same "$drive_c/zr/setup.ksu" "$internal/internal.ksu"'
make_file "$work/pc/new.keq" 1700
zr --port COM1 restore new.keq
check "restore new.keq" eval '[ $code -eq 0 ] && same "$internal/internal.keq" "$work/pc/new.keq"'

zr --port COM1 archive 'C:\zr\backups'
archive=$(find "$drive_c/zr/backups" -mindepth 1 -maxdepth 1 -type d | head -n 1)
check "archive to C:\\zr\\backups, sha256sum agrees" eval '[ $code -eq 0 ] && [ -n "$archive" ] &&
  same "$archive/card/SONG1.kpr" "$card/SONG1.kpr" && (cd "$archive" && sha256sum --quiet -c SHA256SUMS)'
windows_archive="C:\\zr\\backups\\$(basename "$archive")"
zr --port COM1 verify "$windows_archive"
check "verify: all the same" [ $code -eq 0 ]
make_file "$card/VOCALS.kch" 3100
zr --port COM1 verify "$windows_archive"
check "verify names what changed (exit 1)" eval '[ $code -eq 1 ] && out_has "card/VOCALS.kch"$'"'"'\t'"'"'"differs"'
zr --port COM1 restore-archive --replace --card-only "$windows_archive"
check "restore-archive puts it back" eval '[ $code -eq 0 ] && same "$card/VOCALS.kch" "$archive/card/VOCALS.kch"'

# Exit codes without a console.
here=$work
zr frob
check "an unknown command exits 2" eval '[ $code -eq 2 ] && err_has "unknown command frob"'
zr --port COM7 list
check "a port without a device exits 3" eval '[ $code -eq 3 ] && err_has "COM7"'
zr --midi 0 list
check "--midi is refused with a reason (exit 3)" eval '[ $code -eq 3 ] && err_has "no MIDI"'
zr verify 'C:\zr\nothing'
check "verify of no archive exits 1" eval '[ $code -eq 1 ] && err_has "SHA256SUMS is missing"'

# Ctrl+C during a get at the console's own pace: exit 130, nothing left.
make_file "$work/big/card/BIG.kpr" 300000
start_console big --baud 115200
mkdir -p "$drive_c/zr/partial"
(cd "$work" && exec "$wine" "$exe" --port COM1 get BIG.kpr --to 'C:\zr\partial' >"$work/out" 2>"$work/err") &
zr_pid=$!
for _ in $(seq 300); do grep -q "block 2" "$work/big/sim.log" 2>/dev/null && break; sleep 0.1; done
kill -INT "$zr_pid"
# A program that ignored it must not hold the tests up.
for _ in $(seq 300); do kill -0 "$zr_pid" 2>/dev/null || break; sleep 0.1; done
kill -KILL "$zr_pid" 2>/dev/null || true
wait "$zr_pid"
code=$?
check "Ctrl+C exits 130 and leaves no file, temporary or not" eval '[ $code -eq 130 ] && [ -z "$(ls -A "$drive_c/zr/partial")" ]'

exit $failed
