#!/usr/bin/env bash
# A 4 KB program of an 89C51 (read-back verify) at 9600 baud through the
# Windows build of korvane-cli under wine, against the virtual board with
# real-time pacing, three times; then once through the Linux build for
# comparison when the host build has it. The board's pseudo-terminal is the
# wine prefix's com5 and nothing else: the prefix's other COM links are
# removed first, so the machine's own serial ports are never reached.
#
# Each round runs twice: cold, with no wine process and no wine server
# running, as when a user starts the program first (the run starts wine's
# server and services itself); and warm, with the server and the services
# already up, as for every later run.
#
# Prints a Markdown table: wire time (from the board's counters of that run),
# wall time of the whole process (wine's start included), their ratio (target
# <= 1.05 warm, on a quiet machine), what each written byte took beyond its
# wire time, and the machine's load average as the run started; then the
# cold and the warm ratios' range and median.
# Then the port's bare round trip under wine against an echoing line
# (korvane-wine-turnaround.exe with the host's korvane-echo-pty), when both
# are built.
#   bench/wine_bench.sh [HOST_BUILD_DIR [WIN32_BUILD_DIR]]
# HOST_BUILD_DIR (default build) holds sim/korvane-boardsim; WIN32_BUILD_DIR
# (default build-win32) the cross build, whose wine prefix scripts/test-windows.sh
# also uses. KORVANE_WINE_BENCH_BASELINE names another korvane-cli.exe (an
# earlier build) to run before each run of this one, so that both meet the
# same load on a shared machine; KORVANE_WINE_BENCH_RUNS the rounds (3).
set -euo pipefail
host=$(realpath "${1:-build}")
cross=$(realpath "${2:-build-win32}")
runs=${KORVANE_WINE_BENCH_RUNS:-3}
sim=$host/sim/korvane-boardsim
cli=$cross/cli/korvane-cli.exe
linux_cli=$host/cli/korvane-cli
bytes=4096
for file in "$sim" "$cli"; do
  [ -x "$file" ] || {
    echo "error: $file not built" >&2
    exit 1
  }
done
# shellcheck source=scripts/lib/find-wine.sh
. "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib/find-wine.sh"
wine=$(find_wine)
[ -n "$wine" ] || {
  echo "error: wine64 not found" >&2
  exit 1
}
wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)

export WINEPREFIX=$cross/wineprefix WINEDEBUG=-all WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml="
work=$(mktemp -d)
board=""
cleanup() {
  if [ -n "$board" ]; then
    kill "$board" 2>/dev/null || true
    wait "$board" 2>/dev/null || true
  fi
  "$wineserver" -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$wine" wineboot -i >/dev/null 2>&1
  "$wineserver" -w
fi
# Cold: no server and no wine process left.
stop_wine() {
  "$wineserver" -k </dev/null >/dev/null 2>&1 || true
  "$wineserver" -w </dev/null >/dev/null 2>&1 || true
}
# Warm: one server and wine's services, up before the run (a server that a
# cold run left is ended first: a second one would not start).
start_wine() {
  stop_wine
  "$wineserver" -p30 </dev/null >/dev/null 2>&1
  "$wine" wineboot </dev/null >/dev/null 2>&1
}
start_wine
for link in "$WINEPREFIX"/dosdevices/com*; do
  if [ -L "$link" ]; then
    rm -f "$link"
  fi
done
com=$WINEPREFIX/dosdevices/com5

python3 - "$work/image.bin" "$bytes" <<'PY'
import random, sys
random.seed(4)
size = int(sys.argv[2])
# No FF anywhere, so that every byte is written.
open(sys.argv[1], "wb").write(bytes(random.randrange(0, 255) for _ in range(size)))
PY

# run LABEL COMMAND...: one program run on a fresh board reached as com5 (the
# Linux build gets the board's own device instead).
run() {
  local label=$1
  shift
  "$sim" --chip 89C51 --realtime --link "$com" >"$work/dev" 2>"$work/counters" &
  board=$!
  while [ ! -L "$com" ] || [ ! -s "$work/dev" ]; do sleep 0.05; done
  local start end load status=0
  load=$(cut -d' ' -f1 /proc/loadavg)
  start=$(date +%s.%N)
  KORVANE_PORTS=${ports:-COM5} "$@" >"$work/out" 2>&1 </dev/null || status=$?
  end=$(date +%s.%N)
  kill "$board"
  wait "$board" 2>/dev/null || true
  board=""
  local result
  # The program's last word: a cold run's wine server shares the run's output
  # and writes its own notes there.
  result=$(grep -aE 'bytes written|^error|Complete!|Failed' "$work/out" | tail -1)
  [ $status -eq 0 ] || result="exit $status: $result"
  python3 - "$label" "$start" "$end" "$bytes" "$result" "$work/counters" "$load" \
    "$work/ratios" <<'PY'
import re, sys
label, start, end, written, result, counters, load, ratios = sys.argv[1:]
text = open(counters).read()
found = dict((k, int(v)) for k, v in re.findall(r"([a-z-]+)=(\d+)", text))
wire = (found["from-host"] + found["to-host"]) * 10 / 9600 + found["erase-ms"] / 1000
wall = float(end) - float(start)
beyond = (wall - wire) / int(written) * 1e6
print(f"| {label} | {wire:.2f} | {wall:.2f} | {wall / wire:.3f} | {beyond:.0f} | {load} | {result} |")
with open(ratios, "a") as out:
    out.write(f"{label.split(',')[0]}\t{wall / wire:.3f}\n")
PY
}

winpath="Z:${work//\//\\}\\image.bin"
echo "| run | wire s | wall s | wall/wire | beyond the wire, µs a written byte | load | result |"
echo "|---|---:|---:|---:|---:|---:|---|"
baseline=${KORVANE_WINE_BENCH_BASELINE:-}
for i in $(seq "$runs"); do
  # No display: the CLI needs none, and wine then opens none.
  stop_wine
  run "cold korvane-cli.exe under wine, run $i" env -u DISPLAY "$wine" "$cli" program "$winpath"
  start_wine
  if [ -n "$baseline" ]; then
    run "baseline korvane-cli.exe under wine (warm), run $i" env -u DISPLAY "$wine" "$baseline" \
      program "$winpath"
  fi
  run "warm korvane-cli.exe under wine, run $i" env -u DISPLAY "$wine" "$cli" program "$winpath"
done
if [ -x "$linux_cli" ]; then
  ports=$com run "korvane-cli (Linux build)" "$linux_cli" program "$work/image.bin"
fi
echo
python3 - "$work/ratios" <<'PY'
import statistics, sys
kinds = {}
for line in open(sys.argv[1]):
    kind, ratio = line.split("\t")
    kinds.setdefault(kind.split()[0], []).append(float(ratio))
for kind in ("cold", "warm"):
    if kind in kinds:
        r = kinds[kind]
        print(f"{kind}: wall/wire {min(r):.3f}-{max(r):.3f}, median {statistics.median(r):.3f}"
              f" ({len(r)} runs)")
PY

# The port's own round trip against an echoing line, which the median shows
# even through another's load: SendChar then Read (the write stream's way),
# SendChar then WaitForInput and ReadStr (the command exchange's way).
echo_pty=$host/tests/win32/korvane-echo-pty
turnaround=$cross/bench/korvane-wine-turnaround.exe
if [ -x "$echo_pty" ] && [ -f "$turnaround" ]; then
  line=$WINEPREFIX/dosdevices/com6
  "$echo_pty" "$line" >/dev/null &
  board=$!
  while [ ! -L "$line" ]; do sleep 0.05; done
  echo
  if [ -n "$baseline" ]; then
    old=$(dirname "$baseline")/../bench/korvane-wine-turnaround.exe
    if [ -f "$old" ]; then
      env -u DISPLAY "$wine" "$old" COM6 1000 | tr -d '\r' | sed 's/^/baseline /'
    fi
  fi
  env -u DISPLAY "$wine" "$turnaround" COM6 1000 | tr -d '\r'
fi
