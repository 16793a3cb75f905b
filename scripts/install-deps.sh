#!/usr/bin/env bash
# Installs, from Debian's packages, what building and testing Korvane needs.
# Idempotent: asks apt only for what is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev googletest libbenchmark-dev   # test and benchmark frameworks
  qt6-base-dev qt6-base-dev-tools libgl-dev  # the window
  srecord                                    # independent HEX tool for cross-checks
  clang libclang-rt-14-dev                   # libFuzzer and the sanitizers' runtimes
  clang-format git                           # the format check in the test command
  xvfb xauth fonts-dejavu-core               # the window under a virtual display
  g++-mingw-w64-x86-64-posix wine64          # the Windows build, checked under wine
)
if [ -n "${KORVANE_EXTRA_PACKAGES:-}" ]; then
  read -r -a extra <<<"$KORVANE_EXTRA_PACKAGES"
  packages+=("${extra[@]}")
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
