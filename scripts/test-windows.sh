#!/usr/bin/env bash
# Builds Korvane for Windows with mingw-w64 and runs it under wine: the serial
# suites against echoing pseudo-terminals, the window's rules and
# korvane-cli.exe against the virtual board, and the Win32 window
# (korvane.exe) on a virtual X display, driven through window messages; each
# line reached as a COM port through a link in the wine prefix's dosdevices
# folder; then makes and checks the Windows download
# (scripts/package-windows.sh).
#
# Exits 77 (CTest's skip) with a message when mingw-w64, wine or Xvfb is
# missing.
#
# Environment:
#   KORVANE_HOST_BUILD_DIR   host build with korvane-boardsim's library and
#                            the helpers of tests/win32 (built here when not
#                            given; default build-win32-host)
#   KORVANE_WIN32_BUILD_DIR  the cross build (default build-win32); the wine
#                            prefix lives in it and is reused by later runs
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cross=${KORVANE_WIN32_BUILD_DIR:-$root/build-win32}
jobs=${KORVANE_JOBS:-2}

skip() {
  echo "SKIPPED: the Windows build under wine: $*"
  echo "         (scripts/install-deps.sh installs g++-mingw-w64-x86-64-posix, wine64 and googletest)"
  exit 77
}

command -v x86_64-w64-mingw32-g++-posix >/dev/null || skip "x86_64-w64-mingw32-g++-posix not found"
# shellcheck source=scripts/lib/find-wine.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib/find-wine.sh"
wine=$(find_wine)
[ -n "$wine" ] || skip "wine64 not found"
wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver || true)
[ -n "$wineserver" ] || skip "wineserver not found"
[ -f /usr/src/googletest/CMakeLists.txt ] || skip "GoogleTest sources (/usr/src/googletest) not found"
command -v Xvfb >/dev/null || skip "Xvfb not found (the window's display)"

if [ -n "${KORVANE_HOST_BUILD_DIR:-}" ]; then
  host=$KORVANE_HOST_BUILD_DIR
else
  host=$root/build-win32-host
  cmake -S "$root" -B "$host" -G Ninja -DKORVANE_BUILD_UI=OFF >/dev/null
  cmake --build "$host" -j"$jobs" --target korvane-echo-pty win32_cli_e2e win32_window_e2e
fi
echo_pty=$host/tests/win32/korvane-echo-pty
e2e=$host/tests/win32/win32_cli_e2e
[ -x "$echo_pty" ] || { echo "error: $echo_pty not built" >&2; exit 1; }

echo "== cross build in $cross"
if [ ! -f "$cross/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$cross" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DKORVANE_BUILD_UI=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
else
  # The window is part of the check, also in a cross build made without it.
  cmake -S "$root" -B "$cross" -DKORVANE_BUILD_UI=ON >/dev/null
fi
cmake --build "$cross" -j"$jobs"

export WINEPREFIX=$cross/wineprefix
export WINEDEBUG=-all
# No prompts for the .NET and HTML engines nobody here needs.
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64

pids=()
display_pid=""
cleanup() {
  if [ -n "$display_pid" ]; then
    kill "$display_pid" 2>/dev/null || true
    wait "$display_pid" 2>/dev/null || true
  fi
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
  for pid in "${pids[@]}"; do
    wait "$pid" 2>/dev/null || true
  done
  "$wineserver" -k 2>/dev/null || true
}
trap cleanup EXIT

# A virtual X display of our own for wine's windows, started before wine so
# that every wine process of the run uses it.
display=""
for number in $(seq 90 140); do
  if [ ! -e "/tmp/.X11-unix/X$number" ] && [ ! -e "/tmp/.X$number-lock" ]; then
    display=$number
    break
  fi
done
[ -n "$display" ] || { echo "error: no free X display number in 90..140" >&2; exit 1; }
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
display_pid=$!
for _ in $(seq 100); do
  [ -e "/tmp/.X11-unix/X$display" ] && break
  sleep 0.05
done
export DISPLAY=":$display"

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "== booting the wine prefix $WINEPREFIX (once)"
  "$wine" wineboot -i >/dev/null 2>&1
  "$wineserver" -w
fi
# A server left from an earlier run would hold services started on another
# display.
"$wineserver" -k </dev/null >/dev/null 2>&1 || true
"$wineserver" -w </dev/null >/dev/null 2>&1 || true
# A server that outlives each program, so that none pays for a new one (it
# ends by itself 30 s after the last, should this script be killed), and
# wine's own services started once, detached from every pipe: a service that
# inherited a test's output would keep CTest waiting.
"$wineserver" -p30 </dev/null >/dev/null 2>&1
"$wine" wineboot </dev/null >/dev/null 2>&1
# Wine draws the windows' captions and frames itself: there is no window
# manager on the virtual display.
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f </dev/null >/dev/null 2>&1

# The prefix keeps no COM port but the ones made below: wine links the
# machine's own serial devices, which no test may reach, and a link left by
# an earlier run may lead to a pseudo-terminal that is someone else's now.
for link in "$WINEPREFIX"/dosdevices/com*; do
  if [ -L "$link" ]; then
    rm -f "$link"
  fi
done

start_line() {
  local name=$1
  shift
  local link=$WINEPREFIX/dosdevices/$name
  "$echo_pty" "$link" "$@" >/dev/null &
  pids+=($!)
  for _ in $(seq 100); do
    [ -L "$link" ] && return 0
    sleep 0.05
  done
  echo "error: the far end of $name did not start" >&2
  exit 1
}
start_line com6
start_line com7 --hang-up-on 4

echo "== serial suites and the window's rules under wine"
# One at a time: they share the far ends.
KORVANE_TEST_ECHO_PORT=COM6 KORVANE_TEST_HANGUP_PORT=COM7 \
  ctest --test-dir "$cross" --output-on-failure -j1

echo "== korvane-cli.exe under wine against the virtual board"
if [ ! -x "$e2e" ]; then
  echo "error: $e2e not built (the virtual board's library is missing)" >&2
  exit 1
fi
KORVANE_WINE=$wine KORVANE_WIN32_CLI=$cross/cli/korvane-cli.exe "$e2e"

echo "== korvane.exe under wine, driven through window messages"
window_e2e=$host/tests/win32/win32_window_e2e
if [ ! -x "$window_e2e" ]; then
  echo "error: $window_e2e not built (the virtual board's library is missing)" >&2
  exit 1
fi
KORVANE_WINE=$wine KORVANE_WIN32_WINDOW=$cross/ui/win32/korvane.exe \
  KORVANE_WIN32_UIDRIVER=$cross/tests/win32/korvane-uidriver.exe "$window_e2e"

echo "== the Windows download"
KORVANE_WIN32_BUILD_DIR=$cross "$root/scripts/package-windows.sh"
