#!/usr/bin/env bash
# An 8 KB program of an 89C52 at 9600 baud behind the virtual board's USB
# adapter model: no adapter, a 16 ms latency timer the tool cannot reach, and
# a 16 ms timer the tool sets to 1 ms (its sysfs attribute is the file the
# adapter model reads). Prints a Markdown table: wall time, its ratio to the
# no-adapter run, and when the slow-write warning appeared.
#   bench/adapter_bench.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
cli=$build/cli/korvane-cli
sim=$build/sim/korvane-boardsim
work=$(mktemp -d)
trap 'pkill -P $$ 2>/dev/null || true; rm -rf "$work"' EXIT

python3 - "$work/image.bin" <<'PY'
import random, sys
random.seed(8)
data = bytes(random.randrange(0, 255) for _ in range(8192))
open(sys.argv[1], "wb").write(data[:-1] + b"\x00")
PY

# run LABEL LATENCY REACHABLE VERIFY: one program run on a fresh board.
run() {
  local label=$1 latency=$2 reachable=$3 verify=$4
  local attr=$work/latency_timer
  echo 16 >"$attr"
  local args=(--chip 89C52 --realtime --latency-file "$attr")
  [ "$latency" -gt 0 ] && args+=(--usb-latency "$latency")
  [ "$latency" -eq 0 ] && echo 0 >"$attr"
  "$sim" "${args[@]}" >"$work/dev" 2>/dev/null &
  local pid=$!
  while [ ! -s "$work/dev" ]; do sleep 0.05; done
  local dev name root=$work/none
  dev=$(head -1 "$work/dev")
  name=$(basename "$(readlink -f "$dev")")
  if [ "$reachable" = yes ]; then
    root=$work/sys
    mkdir -p "$root/class/tty/$name"
    rm -rf "$root/class/tty/$name/device"
    mkdir "$root/class/tty/$name/device"
    ln -sf "$attr" "$root/class/tty/$name/device/latency_timer"
  fi
  local flags=()
  [ "$verify" = fast ] && flags+=(--fast-verify)
  local start end warned="-"
  start=$(date +%s.%N)
  KORVANE_PORTS=$dev KORVANE_SYSFS_ROOT=$root "$cli" program "$work/image.bin" "${flags[@]}" \
    >"$work/out" 2> >(while IFS= read -r line; do
      [[ $line == warning:* ]] && echo "$(date +%s.%N)" >"$work/warned"
    done)
  end=$(date +%s.%N)
  sleep 0.2
  if [ -s "$work/warned" ]; then
    local writing
    writing=$(python3 -c "print(round($(cat "$work/warned") - $start, 1))")
    warned="${writing} s after start"
    rm -f "$work/warned"
  fi
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  rm -f "$work/dev"
  python3 -c "print(round($end - $start, 1))" >"$work/wall"
  echo "$label|$verify|$(cat "$work/wall")|$warned|$(tail -1 "$work/out")"
}

rows=()
for verify in readback fast; do
  rows+=("$(run "no adapter" 0 no "$verify")")
  rows+=("$(run "16 ms, timer out of reach" 16 no "$verify")")
  rows+=("$(run "16 ms, the tool sets 1 ms" 16 yes "$verify")")
done

echo "| adapter | verify | wall s | ratio to no adapter | slow-write warning | result |"
echo "|---|---|---:|---:|---|---|"
base=""
for row in "${rows[@]}"; do
  IFS='|' read -r label verify wall warned result <<<"$row"
  [ "$label" = "no adapter" ] && base=$wall
  ratio=$(python3 -c "print(f'{$wall / $base:.2f}')")
  echo "| $label | $verify | $wall | $ratio | $warned | $result |"
done
