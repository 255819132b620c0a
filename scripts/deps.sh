#!/usr/bin/env bash
# Builds the game's third-party libraries for a foreign target from Debian's
# source packages, once per library version, into a cache outside the clone,
# then assembles them into one prefix (include/, lib/, lib/pkgconfig/, bin/)
# whose path is the last line printed on stdout.
#   bash scripts/deps.sh mingw64       (Windows DLLs)
#   bash scripts/deps.sh emscripten    (WebAssembly static libraries)
# VELMOR_DEPS_CACHE moves the cache (default ~/.cache/velmor-deps). Build logs
# go to <cache>/<target>/logs/; stdout carries only the prefix path.
set -euo pipefail
cd "$(dirname "$0")/.."
REPO=$PWD
TARGET=${1:?usage: scripts/deps.sh TARGET   (TARGET: mingw64 or emscripten)}
CACHE_ROOT=${VELMOR_DEPS_CACHE:-$HOME/.cache/velmor-deps}
CACHE=$CACHE_ROOT/$TARGET
PREFIX=$CACHE/prefix
APT_DIR=$CACHE_ROOT/apt          # sources are the same for every target
SOURCES=$CACHE_ROOT/sources
JOBS=$(nproc)

# Library, its Debian source package, and the libraries it builds against
# (each built earlier in this list).
LIBRARIES=(
  "zlib    zlib"
  "png     libpng1.6      zlib"
  "jpeg    libjpeg-turbo"
  "ogg     libogg"
  "vorbis  libvorbis      ogg"
  "flac    flac           ogg"
  "opus    opus"
  "mpg123  mpg123"
  "lame    lame"
  "sndfile libsndfile     ogg vorbis flac opus mpg123 lame"
  "openmpt libopenmpt     zlib ogg vorbis mpg123"
  "sdl2    libsdl2"
  "lua     lua5.1"
  "epoxy   libepoxy"
)

HOST_PACKAGES=(
  dpkg-dev ca-certificates xz-utils bzip2 make cmake ninja-build meson
  pkg-config autoconf automake libtool libltdl-dev ccache nasm
)

log() { echo "deps: $*" >&2; }
die() { log "$*"; exit 1; }

# ---- Target: everything that differs between foreign targets lives here ----
# A target sets HOST (its triple), TARGET_PACKAGES, CC and CXX (with ccache),
# LINK_FLAGS (for autotools builds), CMAKE_TOOLCHAIN and SHARED (ON: DLLs,
# OFF: static libraries), and defines write_meson_cross FILE, after_configure
# (run in an autotools tree after ./configure), finish_library PREFIX (run on
# each installed library) and finish_prefix PREFIX (run on the assembled
# prefix). zlib and Lua, linked by hand, name their Windows files directly.
# A target may also list UNUSED_LIBRARIES, left out of its build, and define
# prepare_target (run once its packages are installed) and build_LIB
# functions that replace the Windows ones below.
UNUSED_LIBRARIES=()
prepare_target() { :; }

target_mingw64() {
  HOST=x86_64-w64-mingw32
  TARGET_PACKAGES=(mingw-w64 g++-mingw-w64-x86-64-posix wine wine64 nsis)
  # The posix thread model: GCC 12's win32 one lacks std::thread and std::mutex.
  # libgcc and libstdc++ are linked in statically, leaving libwinpthread-1.dll
  # as the only runtime DLL beside the libraries.
  CC="ccache $HOST-gcc-posix -static-libgcc"
  CXX="ccache $HOST-g++-posix -static-libgcc -static-libstdc++"
  # A DLL without export annotations exports every symbol, those of the
  # static runtime too, which then clash with a program's own copy.
  LINK_FLAGS="-Wl,--exclude-libs,ALL"
  CMAKE_TOOLCHAIN=$REPO/cmake/mingw64.cmake
  SHARED=ON

  write_meson_cross() {
    cat > "$1" <<EOF
[binaries]
c = ['ccache', '$HOST-gcc-posix']
cpp = ['ccache', '$HOST-g++-posix']
ar = '$HOST-ar'
strip = '$HOST-strip'
windres = '$HOST-windres'
pkg-config = 'pkg-config'

[built-in options]
c_link_args = ['-static-libgcc']
cpp_link_args = ['-static-libgcc', '-static-libstdc++']

[host_machine]
system = 'windows'
cpu_family = 'x86_64'
cpu = 'x86_64'
endian = 'little'
EOF
  }

  # libtool links C++ DLLs with -nostdlib and its own -lstdc++, which takes
  # libstdc++'s DLL whatever -static-libstdc++ says: name the static archive
  # instead, and let libtool link a DLL against it.
  after_configure() {
    [ -f libtool ] || return 0
    sed -i -e "s|^postdeps=\"-lstdc++ |postdeps=\"$($HOST-g++-posix -print-file-name=libstdc++.a) |" \
      -e 's|^deplibs_check_method=.*|deplibs_check_method="pass_all"|' libtool
  }

  # Keeps the DLLs, stripped, and none of the programs.
  finish_library() {
    compgen -G "$1/bin/*.dll" > /dev/null || { log "no DLL was installed"; return 1; }
    find "$1/bin" -name '*.exe' -delete
    "$HOST-strip" --strip-unneeded "$1"/bin/*.dll
  }

  finish_prefix() { cp "/usr/$HOST/lib/libwinpthread-1.dll" "$1/bin/"; }
}

target_emscripten() {
  HOST=wasm32-unknown-emscripten
  TARGET_PACKAGES=(emscripten)
  # The compilers, archiver and symbol lister emconfigure and emmake would
  # set; not run through them, as they replace PKG_CONFIG_LIBDIR with
  # Emscripten's sysroot and put its SDL port's sdl2-config on the PATH.
  CC=emcc
  CXX=em++
  export AR=emar RANLIB=emranlib NM=emnm
  LINK_FLAGS=""
  CMAKE_TOOLCHAIN=$REPO/cmake/emscripten.cmake
  SHARED=OFF
  # The browser has WebGL through Emscripten's own GL library.
  UNUSED_LIBRARIES=(epoxy)

  # Debian's Emscripten cache is frozen and read-only, and an empty cache
  # would rebuild libc and the rest: copy it, once per Emscripten version,
  # and point a copy of the package's config at the copy, unfrozen.
  prepare_target() {
    local version dir
    version=$(dpkg-query -W -f='${Version}' emscripten)
    dir=$CACHE/emscripten-$version
    if [ ! -f "$dir/config" ]; then
      log "copying Emscripten's cache for $version"
      rm -rf "$dir"
      mkdir -p "$dir"
      cp -a /usr/share/emscripten/cache "$dir/cache"
      sed -e 's/^FROZEN_CACHE *=.*/FROZEN_CACHE = False/' /usr/share/emscripten/.emscripten > "$dir/config.new"
      printf "\nCACHE = '%s'\nCOMPILER_WRAPPER = 'ccache'\n" "$dir/cache" >> "$dir/config.new"
      mv "$dir/config.new" "$dir/config"
    fi
    export EM_CONFIG=$dir/config
    # Emscripten's JavaScript tools need Debian's node modules (acorn),
    # which a node from outside Debian does not look for.
    export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
    # Sources that name ports (-sUSE_*) fail here instead of downloading.
    export EM_PORTS=/nonexistent
  }

  build_zlib() {
    mkdir -p "$OUT/lib" "$OUT/include"
    $CC -O2 -DHAVE_UNISTD_H -c adler32.c compress.c crc32.c deflate.c gzclose.c gzlib.c gzread.c gzwrite.c \
      infback.c inffast.c inflate.c inftrees.c trees.c uncompr.c zutil.c
    emar rcs "$OUT/lib/libz.a" ./*.o
    cp zlib.h zconf.h "$OUT/include/"
    write_pc zlib "$(sed -n 's/^#define ZLIB_VERSION "\(.*\)"/\1/p' zlib.h)" '-I${includedir}' '-L${libdir} -lz'
  }

  # No SIMD: WebAssembly SIMD is not in every browser.
  build_jpeg() { cmake_build -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF; }

  build_sdl2() { cmake_build -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF; }

  build_lua() {
    # Debian's luaconf.h takes the triple of its module folder from a header
    # that its packaging writes.
    echo "#define DEB_HOST_MULTIARCH \"$HOST\"" > src/lua5.1-deb-multiarch.h
    make -C src -j"$JOBS" liblua5.1.a LUA_A=liblua5.1.a CC="$CC" CFLAGS="-O2 -Wall" AR="emar rcu" RANLIB=emranlib
    mkdir -p "$OUT/lib" "$OUT/include"
    cp src/liblua5.1.a "$OUT/lib/"
    cp src/lua.h src/lualib.h src/lauxlib.h src/luaconf.h src/lua5.1-deb-multiarch.h etc/lua.hpp "$OUT/include/"
    write_pc lua5.1 "$(sed -n 's/^#define LUA_RELEASE.*"Lua \(.*\)"/\1/p' src/lua.h)" \
      '-I${includedir}' '-L${libdir} -llua5.1'
  }

  # libopenmpt reports a module it cannot read by throwing; built without
  # exception support, Emscripten turns that throw into an abort.
  build_openmpt() {
    autotools_build --disable-openmpt123 --disable-examples --disable-tests --disable-doxygen-doc \
      --without-portaudio --without-portaudiocpp --without-pulseaudio --without-sndfile --without-flac \
      CXXFLAGS="-O2 -fexceptions"
  }

  after_configure() { :; }

  # Keeps the static libraries and none of the programs.
  finish_library() {
    compgen -G "$1/lib/*.a" > /dev/null || { log "no static library was installed"; return 1; }
    find "$1" \( -name '*.js' -o -name '*.wasm' \) -delete
  }

  finish_prefix() { :; }
}

# ---- Host packages ----

install_packages() {
  local missing=() p
  for p in "${HOST_PACKAGES[@]}" "${TARGET_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update >&2
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}" >&2
}

# ---- Debian sources ----

APT_OPTIONS=()
setup_apt() {
  mkdir -p "$APT_DIR/sources.list.d" "$APT_DIR/lists/partial" "$APT_DIR/cache/archives/partial"
  APT_OPTIONS=(-q -o Dir::Etc::sourcelist=/dev/null -o "Dir::Etc::sourceparts=$APT_DIR/sources.list.d"
    -o "Dir::State::Lists=$APT_DIR/lists" -o "Dir::Cache=$APT_DIR/cache"
    -o "APT::Sandbox::User=$(id -un)")
  write_deb_src > "$APT_DIR/sources.list.d/velmor-deb-src.sources.new"
  [ -s "$APT_DIR/sources.list.d/velmor-deb-src.sources.new" ] || die "no enabled Debian apt sources found in /etc/apt"
  mv "$APT_DIR/sources.list.d/velmor-deb-src.sources.new" "$APT_DIR/sources.list.d/velmor-deb-src.sources"
  # Refreshed daily, so that security updates arrive; offline, old lists do.
  if [ -z "$(find "$APT_DIR/lists.stamp" -mtime -1 2>/dev/null)" ]; then
    if apt-get "${APT_OPTIONS[@]}" update >&2; then
      touch "$APT_DIR/lists.stamp"
    else
      [ -e "$APT_DIR/lists.stamp" ] || die "apt-get update of the source lists failed"
      log "apt-get update failed; using the source lists from $(date -r "$APT_DIR/lists.stamp")"
    fi
  fi
}

# deb822 stanzas of type deb-src with the URIs, suites, components and keys of
# the machine's enabled binary sources (one-line and deb822 files).
write_deb_src() {
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    awk '
      $1 != "deb" { next }
      {
        signed = ""; i = 2
        if ($2 ~ /^\[/) {
          for (; i <= NF; i++) {
            if ($i ~ /^\[?signed-by=/) { signed = $i; sub(/^\[?signed-by=/, "", signed); sub(/\]$/, "", signed) }
            if ($i ~ /\]$/) { i++; break }
          }
        }
        printf "Types: deb-src\nURIs: %s\nSuites: %s\nComponents:", $i, $(i + 1)
        for (j = i + 2; j <= NF; j++) printf " %s", $j
        printf "\n"
        if (signed != "") printf "Signed-By: %s\n", signed
        printf "\n"
      }' "$f"
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk '
      function flush() {
        if (types ~ /(^| )deb( |$)/ && tolower(enabled) != "no") printf "Types: deb-src\n%s\n\n", keep
        types = ""; enabled = ""; keep = ""; field = ""
      }
      /^#/ { next }
      /^[ \t]*$/ { flush(); next }
      /^[ \t]/ { if (field != "") keep = keep "\n" $0; next }
      {
        field = tolower($1); sub(/:$/, "", field)
        value = $0; sub(/^[^:]*:[ \t]*/, "", value)
        if (field == "types") types = value
        else if (field == "enabled") enabled = value
        else if (field ~ /^(uris|suites|components|signed-by)$/) { keep = keep (keep == "" ? "" : "\n") $0; next }
        field = ""
      }
      END { flush() }' "$f"
  done
}

# Sets SOURCE_DIR and SOURCE_KIND for the Debian source package $1: the newest
# version in the lists whose files download (debian: with Debian's packaging
# and patches), else the newest whose upstream tarball does (orig). The pick
# is kept until the lists are refreshed.
fetch_source() {
  local name=$1 picked=$SOURCES/$1/picked version dir fallback=""
  if [ -f "$picked" ] && [ "$picked" -nt "$APT_DIR/lists.stamp" ]; then
    read -r version SOURCE_KIND < "$picked"
    SOURCE_DIR=$SOURCES/$name/$version
    [ -f "$SOURCE_DIR/complete" ] && return
  fi
  # Newest first; sort -V orders Debian versions of one package correctly
  # as long as none uses "~".
  for version in $(apt-cache "${APT_OPTIONS[@]}" showsrc --only-source "$name" |
                   awk '/^Version:/ { print $2 }' | sort -u -r -V); do
    dir=$SOURCES/$name/${version#*:}
    mkdir -p "$dir"
    if [ ! -f "$dir/complete" ]; then
      (cd "$dir" && apt-get "${APT_OPTIONS[@]}" source --download-only "$name=$version" >&2) ||
        log "$name $version: some files did not download"
      check_source_files "$dir" > "$dir/complete" || rm -f "$dir/complete"
    fi
    if [ -f "$dir/complete" ]; then
      SOURCE_KIND=$(cat "$dir/complete")
      [ "$SOURCE_KIND" = debian ] && { fallback=$dir; break; }
      [ -z "$fallback" ] && fallback=$dir
    fi
  done
  [ -n "$fallback" ] || die "no version of the source package $name downloads"
  SOURCE_DIR=$fallback
  SOURCE_KIND=$(cat "$SOURCE_DIR/complete")
  [ "$SOURCE_KIND" = debian ] || log "$name: Debian's packaging does not download; building its upstream tarball"
  echo "${SOURCE_DIR##*/} $SOURCE_KIND" > "$picked"
}

# Prints "debian" when the .dsc and every file it lists (upstream signatures
# aside) are in DIR, "orig" when only the upstream tarball is; fails otherwise.
check_source_files() {
  local dir=$1 dsc file kind=debian
  dsc=$(ls "$dir"/*.dsc 2>/dev/null | head -n1)
  [ -n "$dsc" ] || return 1
  for file in $(awk '/^Files:/ { on = 1; next } /^[^ ]/ { on = 0 } on { print $3 }' "$dsc"); do
    case $file in
      *.asc) ;;
      *.orig.tar.*) [ -f "$dir/$file" ] || return 1 ;;
      *) [ -f "$dir/$file" ] || kind=orig ;;
    esac
  done
  echo "$kind"
}

# Unpacks the fetched source into DEST, with Debian's patches applied.
unpack_source() {
  local dest=$1
  rm -rf "$dest"
  if [ "$SOURCE_KIND" = debian ]; then
    # apt checked every file against the signed archive index; the
    # maintainer's signature needs debian-keyring, which is not wanted here.
    dpkg-source --no-check -x "$(ls "$SOURCE_DIR"/*.dsc | head -n1)" "$dest" >&2
  else
    mkdir -p "$dest"
    tar -xf "$(ls "$SOURCE_DIR"/*.orig.tar.* | grep -v '\.asc$' | head -n1)" -C "$dest" --strip-components=1
  fi
}

# ---- Build helpers (run inside the unpacked source; OUT is the install
# prefix, DEPS the assembled prefix of the libraries it builds against) ----

autotools_build() { # extra ./configure arguments
  local linkage=(--enable-shared --disable-static)
  [ "$SHARED" = ON ] || linkage=(--disable-shared --enable-static)
  autoreconf -fi
  CC="$CC" CXX="$CXX" CPPFLAGS="-I$DEPS/include" LDFLAGS="-L$DEPS/lib $LINK_FLAGS" CFLAGS="-O2" CXXFLAGS="-O2" \
    ./configure --host="$HOST" --prefix="$OUT" "${linkage[@]}" "$@"
  after_configure
  make -j"$JOBS"
  make install
}

cmake_build() { # extra CMake arguments
  cmake -S . -B velmor-build -G Ninja -DCMAKE_TOOLCHAIN_FILE="$CMAKE_TOOLCHAIN" \
    -DVELMOR_DEPS_PREFIX="$DEPS" -DCMAKE_INSTALL_PREFIX="$OUT" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" \
    -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
    -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache \
    -DBUILD_SHARED_LIBS="$SHARED" "$@"
  cmake --build velmor-build -j"$JOBS"
  cmake --install velmor-build
}

meson_build() { # extra meson options
  write_meson_cross velmor-cross.ini
  meson setup velmor-build --cross-file velmor-cross.ini --prefix="$OUT" --libdir=lib \
    -Doptimization=2 -Ddebug=false --default-library="$([ "$SHARED" = ON ] && echo shared || echo static)" "$@"
  ninja -C velmor-build -j"$JOBS"
  meson install -C velmor-build
}

write_pc() { # NAME VERSION CFLAGS LIBS: a pkg-config file for a build that makes none
  mkdir -p "$OUT/lib/pkgconfig"
  cat > "$OUT/lib/pkgconfig/$1.pc" <<EOF
prefix=$OUT
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: $1
Description: $1 library
Version: $2
Cflags: $3
Libs: $4
EOF
}

# ---- One function per library: how it is configured ----

build_zlib() {
  # Debian's repacked zlib has no win32/ folder (MinGW makefile, resource
  # file) and its other builds do not name a Windows DLL; zlib is small
  # enough to link in one step.
  mkdir -p "$OUT/bin" "$OUT/lib" "$OUT/include"
  $CC -O2 -shared -o "$OUT/bin/zlib1.dll" -Wl,--out-implib,"$OUT/lib/libz.dll.a" \
    adler32.c compress.c crc32.c deflate.c gzclose.c gzlib.c gzread.c gzwrite.c \
    infback.c inffast.c inflate.c inftrees.c trees.c uncompr.c zutil.c
  cp zlib.h zconf.h "$OUT/include/"
  write_pc zlib "$(sed -n 's/^#define ZLIB_VERSION "\(.*\)"/\1/p' zlib.h)" '-I${includedir}' '-L${libdir} -lz'
}

build_png() { autotools_build --disable-tests --disable-tools; }

build_jpeg() { cmake_build -DENABLE_STATIC=OFF -DWITH_TURBOJPEG=OFF -DWITH_JPEG8=OFF; }

build_ogg() { autotools_build; }

build_vorbis() { autotools_build --disable-docs --disable-examples --disable-oggtest --with-ogg="$DEPS"; }

build_flac() {
  # Stack protection would link libssp, which MinGW has only as a static
  # library; libtool then refuses to make a DLL.
  autotools_build --disable-stack-smash-protection --disable-fortify-source \
    --disable-programs --disable-examples --disable-cpplibs --disable-doxygen-docs \
    --disable-oggtest --disable-thorough-tests --with-ogg="$DEPS"
}

build_opus() {
  # configure adds _FORTIFY_SOURCE unless it is defined; it needs libssp, as
  # stack protection does for FLAC.
  autotools_build --disable-doc --disable-extra-programs CPPFLAGS="-I$DEPS/include -D_FORTIFY_SOURCE=0"
}

build_mpg123() { autotools_build --with-audio=dummy --enable-modules=no; }

build_lame() {
  # The export list names lame_init_old, which 3.100 makes static; only DLL
  # links check the list.
  sed -i '/^lame_init_old$/d' include/libmp3lame.sym
  autotools_build --disable-frontend
}

build_sndfile() {
  cmake_build -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_TESTING=OFF -DENABLE_CPACK=OFF \
    -DENABLE_EXTERNAL_LIBS=ON -DENABLE_MPEG=ON -DINSTALL_MANPAGES=OFF -DINSTALL_PKGCONFIG_MODULE=ON
}

build_openmpt() {
  autotools_build --disable-openmpt123 --disable-examples --disable-tests --disable-doxygen-doc \
    --without-portaudio --without-portaudiocpp --without-pulseaudio --without-sndfile --without-flac
}

build_sdl2() { cmake_build -DSDL_SHARED=ON -DSDL_STATIC=OFF -DSDL_TEST=OFF; }

build_lua() {
  # Lua's own makefile only builds a DLL through its "mingw" target, which
  # strips with the host's strip and makes no import library.
  make -C src -j"$JOBS" lua51.dll LUA_A=lua51.dll CC="$CC" CFLAGS="-O2 -Wall -DLUA_BUILD_AS_DLL" \
    AR="$CC -shared -Wl,--out-implib,liblua51.dll.a -o" RANLIB=true
  mkdir -p "$OUT/bin" "$OUT/lib" "$OUT/include"
  cp src/lua51.dll "$OUT/bin/"
  cp src/liblua51.dll.a "$OUT/lib/"
  cp src/lua.h src/lualib.h src/lauxlib.h src/luaconf.h etc/lua.hpp "$OUT/include/"
  write_pc lua5.1 "$(sed -n 's/^#define LUA_RELEASE.*"Lua \(.*\)"/\1/p' src/lua.h)" \
    '-I${includedir}' '-L${libdir} -llua51'
}

build_epoxy() { meson_build -Dx11=false -Degl=no -Dtests=false -Ddocs=false; }

# ---- Cache ----

declare -A SOURCE_OF DEPS_OF KEY_OF DIR_OF

# A library's key changes with its version, its build function, the target's
# settings and the keys of the libraries it builds against; a cached build
# whose stamp holds another key is redone.
library_key() {
  local lib=$1 dep
  {
    echo "${DIR_OF[$lib]}"
    declare -f "build_$lib" autotools_build cmake_build meson_build tidy_install "target_$TARGET"
    cat "$CMAKE_TOOLCHAIN"
    for dep in ${DEPS_OF[$lib]}; do echo "${KEY_OF[$dep]}"; done
  } | sha256sum | cut -d' ' -f1
}

# Builds LIB into DIR_OF[LIB]/prefix unless its stamp holds its key; the
# stamp is written last, so an interrupted build is redone.
build_library() {
  local lib=$1 dir=$CACHE/${DIR_OF[$1]} work=$CACHE/work/$1
  [ "$(cat "$dir/stamp" 2>/dev/null)" = "${KEY_OF[$lib]}" ] && return
  log "building ${DIR_OF[$lib]}"
  rm -rf "$dir" "$work"
  mkdir -p "$work" "$CACHE/logs"
  unpack_source "$work/src"
  local deps=() dep
  for dep in ${DEPS_OF[$lib]}; do deps+=("$CACHE/${DIR_OF[$dep]}/prefix"); done
  assemble "$work/deps" "${deps[@]}"
  local logfile=$CACHE/logs/$lib.log start=$SECONDS
  # Not run as a condition: bash ignores set -e inside one.
  set +e
  (set -e; cd "$work/src"
   OUT=$dir/prefix DEPS=$work/deps PKG_CONFIG_LIBDIR=$work/deps/lib/pkgconfig PKG_CONFIG_PATH= "build_$lib"
  ) > "$logfile" 2>&1
  local status=$?
  set -e
  if [ $status -ne 0 ]; then
    tail -n 40 "$logfile" >&2
    die "building $lib failed; full log: $logfile"
  fi
  tidy_install "$dir/prefix" || die "installing $lib failed; full log: $logfile"
  echo "${KEY_OF[$lib]}" > "$dir/stamp"
  rm -rf "$work"
  log "built ${DIR_OF[$lib]} in $((SECONDS - start)) s"
}

# Drops manuals and libtool archives (which hold build paths), then lets the
# target keep what linking and running need.
tidy_install() {
  rm -rf "$1/share/man" "$1/share/doc" "$1/share/info"
  find "$1" -name '*.la' -delete
  finish_library "$1"
}

# Assembles the library prefixes PREFIX... into DEST (hard links), pointing
# their pkg-config files, config scripts and CMake files at DEST.
assemble() {
  local dest=$1 src
  shift
  rm -rf "$dest" "$dest.new"
  mkdir -p "$dest.new/bin" "$dest.new/include" "$dest.new/lib/pkgconfig"
  for src; do
    cp -alf "$src/." "$dest.new/"
    grep -rlIF "$src" "$dest.new" | while read -r file; do
      sed -i "s|$(sed_escape "$src")|$dest|g" "$file"
    done
  done
  mv "$dest.new" "$dest"
}

sed_escape() { printf '%s' "$1" | sed 's/[][\\.*^$|]/\\&/g'; }

main() {
  declare -F "target_$TARGET" > /dev/null || die "unknown target $TARGET (known: mingw64 emscripten)"
  "target_$TARGET"
  install_packages
  prepare_target
  setup_apt
  local entry lib source deps dep used=()
  for entry in "${LIBRARIES[@]}"; do
    read -r lib _ <<< "$entry"
    [[ " ${UNUSED_LIBRARIES[*]} " == *" $lib "* ]] || used+=("$entry")
  done
  # Built in order, so that each finds the libraries it builds against.
  for entry in "${used[@]}"; do
    read -r lib source deps <<< "$entry"
    deps=$(for dep in $deps; do [[ " ${UNUSED_LIBRARIES[*]} " == *" $dep "* ]] || echo "$dep"; done | xargs)
    SOURCE_OF[$lib]=$source
    DEPS_OF[$lib]=$deps
    fetch_source "$source"
    DIR_OF[$lib]=$source-${SOURCE_DIR##*/}
    KEY_OF[$lib]=$(library_key "$lib")
    build_library "$lib"
  done
  local inputs
  inputs=$(for lib in "${!KEY_OF[@]}"; do echo "$lib ${KEY_OF[$lib]}"; done | sort)
  if [ "$(cat "$PREFIX/.inputs" 2>/dev/null)" != "$inputs" ]; then
    local prefixes=()
    for entry in "${used[@]}"; do
      read -r lib _ <<< "$entry"
      prefixes+=("$CACHE/${DIR_OF[$lib]}/prefix")
    done
    assemble "$PREFIX" "${prefixes[@]}"
    finish_prefix "$PREFIX"
    echo "$inputs" > "$PREFIX/.inputs"
  fi
  echo "$PREFIX"
}

main
