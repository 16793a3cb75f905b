#!/usr/bin/env bash
# Builds the fuzz targets with clang + libFuzzer and runs each for a bounded
# time on a copy of its seed corpus.
#   scripts/fuzz.sh [--seconds N] [--build DIR]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=60
build=build-fuzz
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    *) echo "usage: $0 [--seconds N] [--build DIR]" >&2; exit 2 ;;
  esac
done

cmake -S fuzz -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target fuzz_hex_load fuzz_board_replies

run() {
  local target=$1 seeds=$2
  shift 2
  # New inputs go to a scratch corpus; the seeds in the repository stay as they are.
  local work="$build/corpus-$target"
  mkdir -p "$work"
  echo "== $target: ${seconds}s"
  "$build/$target" "$work" "fuzz/corpus/$seeds" -max_total_time="$seconds" \
    -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 "$@" 2>&1 |
    tee "$build/$target.log" | grep -E '^(#[0-9]+.*DONE|stat::number_of_executed_units|==[0-9]+==ERROR|SUMMARY)' || true
  if grep -qE '==[0-9]+==ERROR|runtime error|deadly signal|Test unit written' "$build/$target.log"; then
    echo "$target: a finding, see $build/$target.log" >&2
    return 1
  fi
}

status=0
run fuzz_hex_load hexfile -max_len=4096 || status=1
run fuzz_board_replies replies -max_len=512 || status=1
exit $status
