#!/usr/bin/env bash
# Installs, from Debian's packages, what building, running and testing Korvane
# needs. Idempotent: asks apt only for what is missing.
#
#   scripts/install-deps.sh [run|package|web|test]
#                                        install a profile (default: test)
#   scripts/install-deps.sh --list PROFILE
#                                        print the profile's packages, one a
#                                        line, and install nothing
#
#   run      build the three programs and do the main job (scripts/run.sh)
#   package  run's packages and what scripts/check-package.sh needs to build
#            and check the Debian package (dpkg-dev, file, lintian), without
#            the test set's compilers, wine and display tools
#   web      what scripts/build-web.sh needs to build the page (emscripten)
#   test   everything the test command (scripts/test.sh) uses: run's
#          packages and the test, fuzz, Windows, window and package tools
#
# KORVANE_EXTRA_PACKAGES (space-separated) adds packages to either profile.
set -euo pipefail

usage() {
  echo "usage: $0 [run|package|web|test] | --list run|package|web|test" >&2
  exit 2
}

# What each package is for is in README.md's Dependencies table.
run_packages=(
  build-essential cmake ninja-build pkg-config # the build
  qt6-base-dev qt6-base-dev-tools libgl-dev    # the window
  libxcb1-dev                                  # the window: whether its X display is lost
  srecord                                      # the main job's comparison (srec_cat)
)
package_packages=(
  "${run_packages[@]}"
  dpkg-dev file # CPack's dpkg-shlibdeps and file, dpkg-buildflags
  lintian       # the package's check
)
web_packages=(
  cmake ninja-build # the build
  emscripten        # the page's core compiled to WebAssembly (scripts/build-web.sh)
)
test_packages=(
  "${run_packages[@]}"
  libgtest-dev googletest libbenchmark-dev # test and benchmark frameworks
  clang libclang-rt-14-dev                 # libFuzzer and the sanitizers' runtimes
  clang-format git clang-tidy              # the format check and the static checks
  xvfb xauth fonts-dejavu-core             # the window under a virtual display
  openbox xdotool                          # a window manager and a driver for X11 window tests
  g++-mingw-w64-x86-64-posix wine64        # the Windows build, checked under wine
  zip unzip                                # the Windows download and its check
  dpkg-dev file                            # the Debian package (CPack, dpkg-shlibdeps)
  lintian                                  # the package's check
  man-db groff-base                        # the manual pages' check
  bash-completion                          # the completion's test
  emscripten                               # the page (scripts/build-web.sh)
  chromium nodejs                          # the page's tests: headless Chromium driven from node
)
# npm comes with some builds of nodejs (which then conflict with Debian's npm).
if ! command -v npm >/dev/null; then
  test_packages+=(npm)
fi

list=0
case "${1:-}" in
  --list)
    list=1
    [ $# -eq 2 ] || usage
    profile=$2
    ;;
  "") profile=test ;;
  run | package | web | test)
    [ $# -eq 1 ] || usage
    profile=$1
    ;;
  *) usage ;;
esac
case "$profile" in
  run) packages=("${run_packages[@]}") ;;
  package) packages=("${package_packages[@]}") ;;
  web) packages=("${web_packages[@]}") ;;
  test) packages=("${test_packages[@]}") ;;
  *) usage ;;
esac
if [ -n "${KORVANE_EXTRA_PACKAGES:-}" ]; then
  read -r -a extra <<<"$KORVANE_EXTRA_PACKAGES"
  packages+=("${extra[@]}")
fi

if [ $list -eq 1 ]; then
  printf '%s\n' "${packages[@]}"
  exit 0
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing ($profile): ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
