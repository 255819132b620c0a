#!/usr/bin/env bash
# Builds a game as a web page with Debian's Emscripten (WebAssembly, WebGL 2,
# Web Audio, the player's files in the browser's IndexedDB):
#   bash scripts/build-web.sh                      Quble, into build-web/quble/
#   bash scripts/build-web.sh FOLDER [--name NAME] the velmor-run game in
#                                                  FOLDER (or FOLDER/DATA)
# Each page is a folder any static web server serves: index.html, NAME.js,
# NAME.wasm and NAME.data (the game's data as one resource pack). The
# third-party libraries come from Debian's source packages, built once into
# ~/.cache/velmor-deps (scripts/deps.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
out="$root/build-web"

data=""
name=""
while [ $# -gt 0 ]; do
  case "$1" in
    --name) name="${2:?--name needs a name}"; shift 2 ;;
    --name=*) name="${1#--name=}"; shift ;;
    -h|--help) sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) echo "build-web.sh: unknown option $1" >&2; exit 2 ;;
    *) [ -z "$data" ] || { echo "build-web.sh: one data folder only" >&2; exit 2; }; data="$1"; shift ;;
  esac
done

if [ -z "$data" ]; then
  program=quble
  data="$root/DATA"
  title=Quble
  name="${name:-quble}"
  icon="$root/dist/icons/hicolor/64x64/apps/io.github.quble.Quble.png"
else
  program=velmor-run
  [ -d "$data" ] || { echo "build-web.sh: no folder $data" >&2; exit 1; }
  data="$(cd "$data" && pwd)"
  [ -d "$data/DATA" ] && data="$data/DATA"
  if ! compgen -G "$data/*.xml" > /dev/null; then
    echo "build-web.sh: $data holds no resource pack descriptor (*.xml)" >&2
    exit 1
  fi
  if [ -z "$name" ]; then
    name="$(basename "$(dirname "$data")")"
    [ "$(basename "$data")" = DATA ] || name="$(basename "$data")"
  fi
  title=""
  # A game's icon: icon.png beside its DATA/.
  icon="$(dirname "$data")/icon.png"
fi
# The name becomes file names and the player's folder.
name="$(printf '%s' "$name" | tr 'A-Z' 'a-z' | tr -c 'a-z0-9_-' '-')"
title="${title:-$name}"

bash scripts/install-deps.sh
prefix="$(bash scripts/deps.sh emscripten | tail -n 1)"
export EM_CONFIG="$(dirname "$prefix")/emscripten-$(dpkg-query -W -f='${Version}' emscripten)/config"
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
export EM_PORTS=/nonexistent

# The data pack is made by the build machine's own velmorpak.
bash scripts/build.sh build -- --target velmorpak

launcher=()
if command -v ccache > /dev/null; then
  export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
emcmake cmake -S . -B "$out/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/emscripten.cmake" \
  -DVELMOR_DEPS_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release -DVELMOR_BUILD_TESTS=OFF \
  -DVELMOR_BUILD_BENCH=OFF "${launcher[@]}" > /dev/null
cmake --build "$out/build" -j"$(nproc)" --target "$program"

page="$out/$name"
rm -rf "$page"
mkdir -p "$page"
"$root/build/velmorpak" "$page/$name.data" "$data"/*.xml
cp "$out/build/$program.js" "$page/$name.js"
cp "$out/build/$program.wasm" "$page/$name.wasm"
icon_link="data:,"
if [ -f "$icon" ]; then
  cp "$icon" "$page/icon.png"
  icon_link=icon.png
fi
sed -e "s/@NAME@/$name/g" -e "s/@TITLE@/$title/g" -e "s|@ICON@|$icon_link|g" dist/web/index.html > "$page/index.html"

echo "$page:"
for file in "$page"/*; do
  printf '  %-14s %9d bytes, %9d gzip-compressed\n' "$(basename "$file")" "$(stat -c %s "$file")" \
    "$(gzip -9 -c "$file" | wc -c)"
done
