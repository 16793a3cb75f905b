#!/usr/bin/env bash
# Builds the page: the core, the window's rules and the board model compiled
# by emscripten, with the page's own files, into the static site
# build-web/site/ (index.html at its top). Open that file in a browser with
# Web Serial (Chrome, Edge, Opera) or put the folder on any HTTPS host.
#
#   scripts/build-web.sh            build the site
#   KORVANE_WEB_BUILD_DIR=DIR       where the compiler's work goes
#                                   (default build-web/cmake)
set -euo pipefail
cd "$(dirname "$0")/.."

if ! command -v emcmake >/dev/null; then
  echo "build-web.sh: emscripten is missing; run scripts/install-deps.sh web" >&2
  exit 1
fi
# Debian's emscripten may be left needing this to find its linker's acorn.
if [ -d /usr/share/nodejs ]; then
  export NODE_PATH=${NODE_PATH:+$NODE_PATH:}/usr/share/nodejs
fi

work=${KORVANE_WEB_BUILD_DIR:-build-web/cmake}
site=build-web/site
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
emcmake cmake -S . -B "$work" -G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel \
  -DKORVANE_BUILD_UI=OFF -DKORVANE_BUILD_TESTS=OFF -DKORVANE_BUILD_BENCH=OFF \
  "${launcher[@]}" >/dev/null
cmake --build "$work" --target korvane-web

rm -rf "$site"
mkdir -p "$site"
cp ui/web/index.html ui/web/page.css ui/web/page.js "$work/ui/web/korvane.js" "$site/"
# What a host serves compressed: each file gzipped on its own.
size=0
for file in "$site"/*; do
  size=$((size + $(gzip -9 -c "$file" | wc -c)))
done
echo "build-web.sh: $site/index.html ($size bytes gzip, $((size / 1024)) KB)"
