#!/usr/bin/env bash
# Makes the Windows download, <cross build>/korvane-<version>-windows-x64.zip:
# one folder holding korvane.exe (the window) and korvane-cli.exe, both
# stripped, README.txt and LICENSE.txt (CR LF line ends, as Windows' own
# editors expect). Then checks the archive as a user gets it: unpacks it,
# runs the unpacked korvane-cli.exe --version under wine and fails on any DLL
# a program imports that is not part of Windows itself.
#
#   scripts/package-windows.sh
#
# Environment:
#   KORVANE_WIN32_BUILD_DIR  the cross build (default build-win32): configured
#                            here, with the window, when it is new or was
#                            made without it; its wine prefix is used as well
#
# Packages: g++-mingw-w64-x86-64-posix (the build, objdump, strip), zip and
# unzip, wine64.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cross=${KORVANE_WIN32_BUILD_DIR:-$root/build-win32}
jobs=${KORVANE_JOBS:-2}
triplet=x86_64-w64-mingw32

fail() {
  echo "error: $*" >&2
  exit 1
}

for tool in "$triplet-g++-posix" "$triplet-objdump" "$triplet-strip" zip unzip; do
  command -v "$tool" >/dev/null ||
    fail "$tool not found (scripts/install-deps.sh test installs it)"
done
# shellcheck source=scripts/lib/find-wine.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib/find-wine.sh"
wine=$(find_wine)
[ -n "$wine" ] || fail "wine64 not found (scripts/install-deps.sh test installs it)"

# The download holds the window: a fresh clone's first run configures the
# cross build with it, and one made without it gets it.
if [ ! -f "$cross/CMakeCache.txt" ]; then
  launcher=()
  if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  fi
  cmake -S "$root" -B "$cross" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DKORVANE_BUILD_UI=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
fi
has_window() {
  cmake --build "$cross" --target help | grep -qE '^(\.\.\. )?korvane(: |$)'
}
if ! has_window; then
  cmake -S "$root" -B "$cross" -DKORVANE_BUILD_UI=ON >/dev/null
fi
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$cross/CMakeCache.txt")
[ -n "$version" ] || fail "no project version in $cross/CMakeCache.txt"

# The programs of the download, the window first.
programs=(korvane korvane-cli)
has_window ||
  fail "the cross build $cross defines no target 'korvane' (the window, korvane.exe)" \
    "although it was configured with KORVANE_BUILD_UI=ON; see its CMake output"
cmake --build "$cross" -j"$jobs" --target "${programs[@]}"

name=korvane-$version-windows-x64
zipfile=$cross/$name.zip
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
stage=$work/stage/$name
mkdir -p "$stage"

for program in "${programs[@]}"; do
  exe=$(find "$cross" -name "$program.exe" -type f -not -path '*/wineprefix/*' -print -quit)
  [ -n "$exe" ] || fail "$program.exe not found under $cross"
  "$triplet-strip" -o "$stage/$program.exe" "$exe"
done
# CR LF line ends; the readme names the version it came with.
sed -e "s/@VERSION@/$version/" -e 's/\r$//' -e 's/$/\r/' \
  "$root/packaging/windows/README.txt" >"$stage/README.txt"
sed -e 's/\r$//' -e 's/$/\r/' "$root/LICENSE" >"$stage/LICENSE.txt"
# The same archive from the same files: fixed times, no extra attributes.
stamp=$(git -C "$root" log -1 --format=%cd --date=format:%Y%m%d%H%M.%S 2>/dev/null ||
  date +%Y%m%d%H%M.%S)
touch -t "$stamp" "$stage" "$stage"/*
rm -f "$zipfile"
(cd "$work/stage" && zip -q -X -9 -r "$zipfile" "$name")

echo "== checking $zipfile"
check=$work/check
mkdir -p "$check"
unzip -q "$zipfile" -d "$check"
unpacked=$check/$name
[ -d "$unpacked" ] || fail "the archive has no folder $name"
expected=$(printf '%s.exe\n' "${programs[@]}" | sort; printf 'LICENSE.txt\nREADME.txt\n')
actual=$(cd "$unpacked" && find . -type f | sed 's|^\./||' | sort)
[ "$(sort <<<"$expected")" = "$actual" ] ||
  fail "the archive holds $(tr '\n' ' ' <<<"$actual"), not $(tr '\n' ' ' <<<"$expected")"
for text in README.txt LICENSE.txt; do
  # Every line ends in CR LF: no LF without its CR.
  if grep -q $'[^\r]$' "$unpacked/$text" || grep -q '^$' "$unpacked/$text"; then
    fail "$text has a line that does not end in CR LF"
  fi
done

# DLLs that come with every 64-bit Windows, and why a program of ours may
# import them. Anything else would have to be shipped and is refused.
allowed=(
  KERNEL32.dll   # files, the serial port, events, processes, the console
  ADVAPI32.dll   # the registry's list of serial ports
  msvcrt.dll     # the C runtime that mingw-w64 links against
  USER32.dll     # windows, messages, message boxes, the timer (the window)
  GDI32.dll      # fonts and drawing (the window)
  COMCTL32.dll   # the progress bar and the other common controls (the window)
  COMDLG32.dll   # the open and save dialogs (the window)
  SHELL32.dll    # the shell's icons and file calls (the window)
  UxTheme.dll    # the visual style of the controls (the window)
  ucrtbase.dll   # the Universal C runtime, when built against it
)
is_allowed() {
  local dll=${1,,}
  [[ $dll == api-ms-win-crt-*.dll ]] && return 0 # the Universal C runtime's API sets
  local entry
  for entry in "${allowed[@]}"; do
    [ "$dll" = "${entry,,}" ] && return 0
  done
  return 1
}
for program in "${programs[@]}"; do
  exe=$unpacked/$program.exe
  "$triplet-objdump" -f "$exe" | grep -q 'file format pei-x86-64' ||
    fail "$program.exe is not a 64-bit Windows program"
  if "$triplet-objdump" -h "$exe" | grep -q '\.debug_'; then
    fail "$program.exe still carries debugging sections"
  fi
  mapfile -t dlls < <("$triplet-objdump" -p "$exe" | sed -n 's/^\tDLL Name: //p')
  [ ${#dlls[@]} -gt 0 ] || fail "$program.exe imports no DLL at all"
  for dll in "${dlls[@]}"; do
    is_allowed "$dll" || fail "$program.exe imports $dll, which is not part of Windows"
  done
  echo "$program.exe ($(stat -c %s "$exe") bytes) imports ${dlls[*]}"
done

# The unpacked command line runs: in the cross build's wine prefix, with no
# display and no COM port but the ones the tests link.
export WINEPREFIX=$cross/wineprefix WINEDEBUG=-all WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml="
wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$wine" wineboot -i >/dev/null 2>&1
  "$wineserver" -w
fi
said=$(KORVANE_PORTS='' env -u DISPLAY "$wine" "$unpacked/korvane-cli.exe" --version </dev/null 2>&1 |
  tr -d '\r') || fail "korvane-cli.exe --version failed under wine: $said"
grep -q "$version" <<<"$said" ||
  fail "korvane-cli.exe --version said '$said', not version $version"
echo "korvane-cli.exe --version under wine: $said"
echo "ok: $zipfile ($(stat -c %s "$zipfile") bytes)"
