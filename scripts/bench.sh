#!/usr/bin/env bash
# The benchmarks: how close programming and reading come to the 9600-baud
# wire, and what they cost the host. Builds a Release tree in build-bench,
# then on virtual boards with real-time pacing programs (read-back verify and
# fast verify) and reads 4 KB, 8 KB and 20 KB chips through korvane-cli,
# programs the same images through the window (offscreen), times the HEX file
# side, and writes bench/RESULTS.md. Takes about ten minutes; each size runs
# once. The machine's own serial ports are never touched.
#
#   scripts/bench.sh
set -euo pipefail
cd "$(dirname "$0")/.."

case "${1:-}" in
  "") ;;
  -h | --help)
    sed -n '2,9s/^# \{0,1\}//p' "$0"
    exit 0
    ;;
  *)
    echo "usage: $0" >&2
    exit 2
    ;;
esac

build="build-bench"
generator=()
[ -f "$build/CMakeCache.txt" ] || generator=(-G Ninja)
cmake -S . -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release -DKORVANE_BUILD_TESTS=OFF >/dev/null
targets=(korvane-cli korvane-boardsim korvane-file-bench korvane-turnaround-bench)
window=1
if grep -q '^KORVANE_BUILD_UI:BOOL=OFF' "$build/CMakeCache.txt"; then
  window=0
else
  targets+=(korvane-window-bench)
fi
cmake --build "$build" -j2 --target "${targets[@]}"

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

runs=program,fast,read
[ $window -eq 1 ] && runs+=,window
status=0
# One run at a time, as a user programs one chip at a time: on a small machine
# runs side by side slow each other's wake-ups and inflate both the ratio and
# the CPU share. Each run has its own virtual board.
for kind in ${runs//,/ }; do
  python3 bench/drive.py "$build" "$out/$kind.json" --runs "$kind" || status=1
done

"$build/bench/korvane-file-bench" --benchmark_min_time=0.5s \
  --benchmark_out="$out/file.json" --benchmark_out_format=json
python3 bench/check_vs_srec.py "$build" >"$out/check.json"
"$build/bench/korvane-turnaround-bench" >"$out/turnaround.json"

jsons=""
for kind in ${runs//,/ }; do
  jsons+="${jsons:+,}$out/$kind.json"
done
python3 bench/report.py bench/RESULTS.md "$jsons" "$out/file.json" "$out/check.json" \
  "$out/turnaround.json"
cat bench/RESULTS.md
exit $status
