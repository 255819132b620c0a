#!/usr/bin/env bash
# The install tree: `cmake --install` into a scratch prefix puts every file
# in its place, the desktop entry and the AppStream data pass their
# validators, the icons are the sizes they claim and are what the icon
# generator draws, and the installed data pack holds the game's data.
#   check_install.sh BUILD_DIR SOURCE_DIR PYTHON3
set -euo pipefail
build="$1" source="$2" python="$3"
scratch="$(mktemp -d /tmp/quble-install-XXXXXX)"
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$scratch/usr" >/dev/null
app=io.github.quble.Quble
for file in bin/quble bin/velmor-run bin/velmorpak bin/velmor-check share/quble/quble.pak \
            share/applications/$app.desktop share/metainfo/$app.metainfo.xml; do
  [ -f "$scratch/usr/$file" ] || fail "missing $file"
done
for program in quble velmor-run velmorpak velmor-check; do
  [ -x "$scratch/usr/bin/$program" ] || fail "$program is not executable"
done

desktop-file-validate "$scratch/usr/share/applications/$app.desktop" || fail "desktop entry"
appstreamcli validate --no-net "$scratch/usr/share/metainfo/$app.metainfo.xml" || fail "AppStream data"
grep -qx "Exec=quble" "$scratch/usr/share/applications/$app.desktop" || fail "the desktop entry does not start quble"
grep -qx "Icon=$app" "$scratch/usr/share/applications/$app.desktop" || fail "the desktop entry names another icon"

# Each icon is a PNG of the size its folder names (width and height are the
# big-endian words at bytes 16 and 20).
"$python" "$source/tools/make_icons.py" "$scratch/drawn"
for size in 16 24 32 48 64 128 256; do
  icon="$scratch/usr/share/icons/hicolor/${size}x${size}/apps/$app.png"
  [ -f "$icon" ] || fail "missing the ${size}x${size} icon"
  [ "$(head -c 8 "$icon" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "$icon is not a PNG"
  [ "$(od -An -tu4 --endian=big -j16 -N8 "$icon" | tr -s ' ' | sed 's/^ //')" = "$size $size" ] ||
    fail "$icon is not ${size}x${size}"
  cmp -s "$icon" "$scratch/drawn/hicolor/${size}x${size}/apps/$app.png" ||
    fail "the ${size}x${size} icon differs from what tools/make_icons.py draws"
done

# The pack is the game's data: every resource its descriptors declare.
listed="$("$scratch/usr/bin/velmorpak" --list "$scratch/usr/share/quble/quble.pak" | awk 'NR > 1 { print $1 }' | sort)"
declared="$(grep -ho ' id="[^"]*"' "$source"/DATA/*.xml | sed 's/ id="//; s/"$//' | sort)"
[ -n "$declared" ] || fail "no resources declared in DATA/"
[ "$listed" = "$declared" ] || fail "the pack's resources differ from DATA/'s descriptors"

# The installed checker finds the installed pack clean for the game.
"$scratch/usr/bin/velmor-check" "$scratch/usr/share/quble" --game quble || fail "velmor-check on the installed data"
echo "install tree OK"
