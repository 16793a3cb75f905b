#!/usr/bin/env bash
# Installs what is missing, checks the source format, builds everything and
# runs every test: the normal build, the same suites under AddressSanitizer +
# UndefinedBehaviorSanitizer (which also checks for leaks), the Debian
# package and its lintian check, the Windows download made from nothing, and a
# brief run of each fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test

# No test may touch the machine's own serial ports: an empty list unless a
# test points it at a virtual board.
export KORVANE_PORTS=${KORVANE_PORTS:-}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
jobs=$(nproc)

echo "== source format (clang-format)"
git ls-files -z '*.cpp' '*.h' '*.c' | xargs -0 clang-format --dry-run --Werror

build=${KORVANE_BUILD_DIR:-build}
echo "== build and test ($build)"
# Every part is required here, so that none drops out for a missing package.
parts=(-DKORVANE_BUILD_UI=ON -DKORVANE_BUILD_TESTS=ON -DKORVANE_BUILD_BENCH=ON)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${parts[@]}" >/dev/null
cmake --build "$build" -j"$jobs"

echo "== source unit names"
# Every source of the programs is a unit named U<Name>, besides the entries.
misnamed=$(git ls-files 'cli/*' 'hexfile/*' 'interrupt/*' 'link/*' 'serial/*' 'sim/*' 'ui/*' |
  grep -E '\.(cpp|h)$' | grep -vE '/(U[A-Z][A-Za-z0-9]*|main)\.(cpp|h)$' || true)
if [ -n "$misnamed" ]; then
  echo "not named U<Name>: $misnamed" >&2
  exit 1
fi

echo "== static checks (clang-tidy, .clang-tidy)"
# The tracked sources that this build compiles (the compile commands it
# exported), checked in parallel; any finding fails.
git ls-files -z '*.cpp' | python3 -c '
import json, os, sys
built = {e["file"] for e in json.load(open(sys.argv[1]))}
for name in sys.stdin.read().split("\0"):
    if name and os.path.abspath(name) in built:
        sys.stdout.write(name + "\0")
' "$build/compile_commands.json" | xargs -0 -P"$jobs" -n4 clang-tidy -p "$build" --quiet 2>/dev/null
ctest --test-dir "$build" --output-on-failure -j"$jobs"

echo "== the page in headless Chromium (scripts/test-web.sh)"
KORVANE_BUILD_DIR=$build scripts/test-web.sh

echo "== the Debian package"
scripts/check-package.sh

echo "== the Windows download, as a fresh clone makes it"
# The download's script alone, on a cross build folder that does not exist
# yet: it must configure what it packs (the window too) by itself.
# Beside the other builds, so that a compiler cache finds their objects.
fresh=build-win32-fresh
rm -rf "$fresh"
KORVANE_WIN32_BUILD_DIR=$PWD/$fresh scripts/package-windows.sh
rm -rf "$fresh"

if [ "${KORVANE_SKIP_SANITIZERS:-}" != 1 ]; then
  asan=${KORVANE_ASAN_DIR:-build-asan}
  echo "== the same suites under ASan + UBSan + LeakSanitizer ($asan)"
  cmake -S . -B "$asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKORVANE_SANITIZE=ON "${parts[@]}" >/dev/null
  cmake --build "$asan" -j"$jobs"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    LSAN_OPTIONS=suppressions=$PWD/tests/reliability/lsan-suppressions.txt \
    ctest --test-dir "$asan" --output-on-failure -j"$jobs" -E 'win32_under_wine|cli.run_script'
fi

if [ "${KORVANE_SKIP_FUZZ:-}" != 1 ]; then
  echo "== fuzz targets, briefly"
  scripts/fuzz.sh --seconds "${KORVANE_FUZZ_SECONDS:-20}"
fi
