#!/usr/bin/env bash
# Builds the Windows game on this Debian machine with the MinGW-w64 cross
# compilers:
#   build-windows/quble-1.0-windows.zip   the programs, their DLLs, the data pack
#   build-windows/quble-1.0-setup.exe     an installer (NSIS)
# The third-party libraries come from Debian's source packages, built once
# into ~/.cache/velmor-deps (scripts/deps.sh). Extra CMake arguments may
# follow, such as -DVELMOR_BUILD_TESTS=ON (the tests that run under Wine).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
out="$root/build-windows"
version=1.0
name="quble-$version"

bash scripts/install-deps.sh
prefix="$(bash scripts/deps.sh mingw64 | tail -n 1)"

# The data pack is made by the build machine's own velmorpak.
bash scripts/build.sh build -- --target velmorpak

tests=OFF
for argument in "$@"; do
  [ "$argument" = "-DVELMOR_BUILD_TESTS=ON" ] && tests=ON
done
bash scripts/build.sh "$out/build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw64.cmake" \
  -DVELMOR_DEPS_PREFIX="$prefix" -DVELMOR_HOST_VELMORPAK="$root/build/velmorpak" \
  -DVELMOR_BUILD_BENCH=OFF -DVELMOR_BUILD_TESTS=$tests "$@"

# The folder the zip and the installer are made from.
stage="$out/stage/$name"
rm -rf "$out/stage"
cmake --install "$out/build" --prefix "$stage" --strip > /dev/null

# The DLLs the programs need, and the DLLs those need, from the libraries'
# prefix; the rest are Windows' own.
copy_dlls() {
  local pending=("$stage"/*.exe) file dll
  while [ ${#pending[@]} -gt 0 ]; do
    file="${pending[0]}"
    pending=("${pending[@]:1}")
    for dll in $(x86_64-w64-mingw32-objdump -p "$file" | sed -n 's/^\s*DLL Name: //p'); do
      [ -f "$stage/$dll" ] && continue
      [ -f "$prefix/bin/$dll" ] || continue
      cp "$prefix/bin/$dll" "$stage/$dll"
      x86_64-w64-mingw32-strip --strip-unneeded "$stage/$dll"
      pending+=("$stage/$dll")
    done
  done
}
copy_dlls

rm -f "$out/$name-windows.zip"
(cd "$out/stage" && zip -q -r -X "$out/$name-windows.zip" "$name")

# The installer removes exactly the files it installed.
(cd "$stage" && find . -type f | sed 's|^\./||; s|/|\\|g' | sort |
  sed 's|.*|  Delete "$INSTDIR\\&"|') > "$out/stage/uninstall-files.nsh"
cp dist/icons/quble.ico "$out/stage/quble.ico"
makensis -V2 -DSTAGE="$stage" -DVERSION="$version" -DOUTFILE="$out/$name-setup.exe" dist/windows/quble.nsi
ls -l "$out/$name-windows.zip" "$out/$name-setup.exe"
