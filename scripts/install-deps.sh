#!/usr/bin/env bash
# Installs every Debian package the project needs to build, run and test.
set -euo pipefail
PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  libsdl2-dev libepoxy-dev liblua5.1-0-dev
  libsndfile1-dev libopenmpt-dev libpng-dev libjpeg-dev zlib1g-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth xdotool x11-utils x11-xkb-utils clang libclang-rt-dev
  libgl1-mesa-dri
  python3 python3-pil fonts-dejavu-core libx11-dev
  python3-xlib  # bench/round_cost.sh counts shown frames through the DAMAGE extension
  imagemagick libjpeg-turbo-progs  # the image tests' independent encoders and decoders
  valgrind
  zip unzip  # the Windows zip, and its test
  qemu-user
  chromium chromium-driver python3-selenium  # the web pages' tests
)
# Packaging and its checks: validators for the desktop entry and AppStream
# data; Pillow and the DejaVu font for the icon generator.
PACKAGES+=(desktop-file-utils appstream python3 python3-pil fonts-dejavu-core)
# The makers' handbook: MkDocs builds it, luac5.1 checks its complete scripts.
PACKAGES+=(mkdocs lua5.1)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
