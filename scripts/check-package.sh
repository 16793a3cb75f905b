#!/usr/bin/env bash
# Builds the Debian package (korvane_<version>_<arch>.deb) with Debian's own
# build flags, checks it with lintian (errors fail, warnings are printed),
# checks that it holds what it should, then unpacks it into a temporary
# folder and runs the programs from there.
#
# KORVANE_PACKAGE_BUILD_DIR chooses the build directory (default: build-deb).
# Needs the package profile of scripts/install-deps.sh (dpkg-dev, file,
# lintian); the test profile includes it.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${KORVANE_PACKAGE_BUILD_DIR:-build-deb}
jobs=${KORVANE_JOBS:-$(nproc)}

for tool in dpkg-buildflags dpkg-shlibdeps dpkg-deb file lintian; do
  command -v "$tool" >/dev/null || {
    echo "check-package.sh: $tool not found (scripts/install-deps.sh package installs it)" >&2
    exit 1
  }
done

# What a Debian package build would use: hardening included.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
echo "== package build in $build"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=None \
  -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
  -DKORVANE_BUILD_UI=ON -DKORVANE_BUILD_TESTS=OFF -DKORVANE_BUILD_BENCH=OFF >/dev/null
rm -f "$build"/korvane_*.deb
cmake --build "$build" -j"$jobs" --target package >"$build/package.log" 2>&1 || {
  cat "$build/package.log" >&2
  exit 1
}
debs=("$build"/korvane_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
  echo "check-package.sh: expected one korvane_*.deb in $build, found: ${debs[*]}" >&2
  exit 1
fi
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)
arch=$(dpkg-deb -f "$deb" Architecture)
[ "$(basename "$deb")" = "korvane_${version}_${arch}.deb" ] || {
  echo "check-package.sh: $deb is not named korvane_${version}_${arch}.deb" >&2
  exit 1
}
echo "$deb: $(stat -c %s "$deb") bytes, installed size $(dpkg-deb -f "$deb" Installed-Size) KiB"
echo "Depends: $(dpkg-deb -f "$deb" Depends)"

failed=0
fail() {
  echo "FAIL: $*" >&2
  failed=1
}

echo "== lintian"
# Every tag is printed; only errors fail.
lintian_status=0
lintian --fail-on error --display-info --tag-display-limit 0 "$deb" || lintian_status=$?
[ $lintian_status -eq 0 ] || fail "lintian found errors (exit status $lintian_status)"

echo "== contents"
contents=$(dpkg-deb -c "$deb")
for path in usr/bin/korvane usr/bin/korvane-cli usr/bin/korvane-boardsim \
  usr/share/applications/korvane.desktop usr/share/icons/hicolor/scalable/apps/korvane.svg \
  usr/share/man/man1/korvane.1.gz usr/share/man/man1/korvane-cli.1.gz \
  usr/share/man/man1/korvane-boardsim.1.gz \
  usr/share/bash-completion/completions/korvane-cli usr/lib/udev/rules.d/60-korvane.rules \
  usr/share/doc/korvane/copyright usr/share/doc/korvane/changelog.gz; do
  grep -q " \./$path\$" <<<"$contents" || fail "$path is not in the package"
done
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libstdc++6 libqt6widgets6; do
  grep -q "\b$library\b" <<<"$depends" || fail "Depends names no $library: $depends"
done

echo "== the unpacked package"
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
bin=$unpacked/usr/bin
# The port list stays empty: nothing here may open the machine's own ports.
export KORVANE_PORTS=
if got=$("$bin/korvane-cli" --version); then
  [ "$got" = "korvane-cli $version" ] || fail "korvane-cli --version printed '$got', not 'korvane-cli $version'"
else
  fail "korvane-cli --version ended with exit status $?"
fi
echo "korvane-cli --version: $got"
if info=$("$bin/korvane-cli" info "$root/examples/blink/blink.hex"); then
  grep -q '^count: [1-9][0-9]* bytes up to the last used address$' <<<"$info" ||
    fail "korvane-cli info printed no count: $info"
else
  fail "korvane-cli info examples/blink/blink.hex ended with exit status $?"
fi
echo "korvane-cli info examples/blink/blink.hex:"
sed 's/^/  /' <<<"$info"
"$bin/korvane-boardsim" --help >/dev/null || fail "korvane-boardsim --help ended with exit status $?"
missing=$(ldd "$bin/korvane" | grep 'not found' || true)
[ -z "$missing" ] || fail "korvane needs libraries that are not there: $missing"
for page in "$unpacked"/usr/share/man/man1/*.1.gz; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
done
rules=$unpacked/usr/lib/udev/rules.d/60-korvane.rules
if command -v udevadm >/dev/null && udevadm verify --help >/dev/null 2>&1; then
  udevadm verify "$rules" || fail "udevadm verify rejects 60-korvane.rules"
else
  echo "note: no 'udevadm verify' here (systemd 253 or later has it): the udev rules' syntax is not checked"
fi

if [ $failed -ne 0 ]; then
  echo "check-package.sh: $deb FAILED" >&2
  exit 1
fi
echo "check-package.sh: $deb is good"
