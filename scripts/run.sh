#!/usr/bin/env bash
# The main job, on a virtual board: installs what is missing, builds, starts
# a virtual 89C52, programs the sample firmware into it with korvane-cli,
# reads the chip back, and compares what came back with the file.
#
#   scripts/run.sh            the command-line run; exits 0 only on a match
#   scripts/run.sh --window   open the window on the virtual board instead
#                             (needs a display; falls back to the run above)
#
# KORVANE_BUILD_DIR chooses the build directory (default: build, the one
# scripts/test.sh uses). The machine's own serial ports are never touched:
# every step is pointed at the virtual board alone.
set -euo pipefail
cd "$(dirname "$0")/.."

window=0
case "${1:-}" in
  "") ;;
  --window) window=1 ;;
  -h | --help)
    sed -n '2,12s/^# \{0,1\}//p' "$0"
    exit 0
    ;;
  *)
    echo "usage: $0 [--window]" >&2
    exit 2
    ;;
esac

firmware=examples/blink/blink.hex
chip=89C52
chip_size=8192

scripts/install-deps.sh run

build=${KORVANE_BUILD_DIR:-build}
# A build directory made earlier keeps its generator and options.
generator=()
[ -f "$build/CMakeCache.txt" ] || generator=(-G Ninja)
cmake -S . -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=(korvane-cli korvane-boardsim)
if [ $window -eq 1 ]; then
  if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "run.sh: no display (neither DISPLAY nor WAYLAND_DISPLAY is set);" \
      "programming through korvane-cli instead" >&2
    window=0
  elif ! grep -q '^KORVANE_UI_BUILT:INTERNAL=ON$' "$build/CMakeCache.txt"; then
    echo "run.sh: $build is configured without the window (no Qt 6, or KORVANE_BUILD_UI=OFF);" \
      "programming through korvane-cli instead" >&2
    window=0
  else
    targets+=(korvane)
  fi
fi
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"
cli="$build/cli/korvane-cli"
boardsim="$build/sim/korvane-boardsim"

work=$(mktemp -d)
board_pid=""
window_pid=""
# shellcheck disable=SC2317  # run by the EXIT trap
stop_board() {
  for pid in $window_pid $board_pid; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  window_pid=""
  board_pid=""
  rm -rf "$work"
}
trap stop_board EXIT
trap 'exit 130' INT TERM

# The board prints its device path as its first line once it serves.
"$boardsim" --chip "$chip" >"$work/board.out" 2>"$work/board.err" &
board_pid=$!
device=""
for _ in $(seq 100); do
  device=$(head -n 1 "$work/board.out" 2>/dev/null || true)
  [ -n "$device" ] && break
  if ! kill -0 "$board_pid" 2>/dev/null; then
    break
  fi
  sleep 0.1
done
if [ -z "$device" ]; then
  echo "run.sh: the virtual board did not start:" >&2
  cat "$work/board.err" >&2
  exit 1
fi
echo "virtual $chip board on $device"
# Anything that scans sees the virtual board and nothing else.
export KORVANE_PORTS=$device

if [ $window -eq 1 ]; then
  echo "opening the window on the virtual board; it finds the $chip within a second or two."
  echo "Send programs a file (try $firmware), Read saves the chip. Close the window to end."
  # In the background, so that an interrupt reaches the trap at once and the
  # board goes with the window.
  "$build/ui/korvane" &
  window_pid=$!
  status=0
  wait "$window_pid" || status=$?
  window_pid=""
  exit $status
fi

out="$build/run"
mkdir -p "$out"
readback="$out/readback.hex"
rm -f "$readback"

echo "== korvane-cli program $firmware --port $device"
status=0
"$cli" program "$firmware" --port "$device" || status=$?
if [ $status -ne 0 ]; then
  echo "FAILED: korvane-cli program ended with exit status $status" >&2
  exit 1
fi
echo "== korvane-cli read $readback --port $device"
"$cli" read "$readback" --port "$device" || status=$?
if [ $status -ne 0 ]; then
  echo "FAILED: korvane-cli read ended with exit status $status" >&2
  exit 1
fi

# The read-back covers the whole chip and starts with a dated comment line;
# compare the data of both files over the chip's size, unused bytes as FF.
used_file=$("$cli" check "$firmware" --chip "$chip")
used_chip=$("$cli" check "$readback" --chip "$chip")
to_binary() {
  grep -v '^;' "$1" >"$work/records.hex"
  srec_cat -disable-sequence-warnings "$work/records.hex" -intel -fill 0xFF 0 "$chip_size" -crop 0 "$chip_size" \
    -o "$2" -binary
}
to_binary "$firmware" "$work/file.bin"
to_binary "$readback" "$work/chip.bin"
if [ "$used_file" = "$used_chip" ] && cmp -s "$work/file.bin" "$work/chip.bin"; then
  echo "MATCH: the chip holds $firmware ($used_file bytes used, $chip_size bytes compared)"
  exit 0
fi
echo "MISMATCH: the chip does not hold $firmware" \
  "(file uses $used_file bytes, chip $used_chip; first differences below)" >&2
cmp -l "$work/file.bin" "$work/chip.bin" | head -n 10 >&2 || true
exit 1
