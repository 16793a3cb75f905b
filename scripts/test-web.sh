#!/usr/bin/env bash
# The page's tests: builds the site (scripts/build-web.sh), installs the
# pinned playwright-core and ws (npm ci, tests/web/package-lock.json) and
# drives the page in Debian's headless Chromium (no browser is downloaded)
# against the virtual board and korvane-boardsim. Needs korvane-boardsim and
# korvane-cli built in KORVANE_BUILD_DIR (default build).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${KORVANE_BUILD_DIR:-build}
for program in sim/korvane-boardsim cli/korvane-cli; do
  if [ ! -x "$build/$program" ]; then
    echo "test-web.sh: $build/$program is missing; build it first" >&2
    exit 1
  fi
done
scripts/build-web.sh
(cd tests/web && npm ci --no-audit --no-fund --loglevel=error)
KORVANE_BUILD_DIR=$build node --test tests/web/
