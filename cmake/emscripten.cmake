# Builds for the web with Debian's Emscripten against the libraries
# scripts/deps.sh builds; emcmake keeps a toolchain file it is given:
#   emcmake cmake -DCMAKE_TOOLCHAIN_FILE=cmake/emscripten.cmake \
#         -DVELMOR_DEPS_PREFIX="$(bash scripts/deps.sh emscripten | tail -n1)" ...
# Without VELMOR_DEPS_PREFIX (cache variable or environment) it uses the
# default cache's prefix. EM_CONFIG must name the config deps.sh wrote, whose
# cache is writable.

# Checks that run a program (Emscripten's check_type_size) run it in node;
# 3.1.6's output loads its .wasm with fetch wherever there is one, which
# fails on a file path in node 18 and later.
set(CMAKE_CROSSCOMPILING_EMULATOR "node;--no-experimental-fetch" CACHE STRING "Runs the programs of configure checks")
include(/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)

if(NOT VELMOR_DEPS_PREFIX)
  if(DEFINED ENV{VELMOR_DEPS_PREFIX})
    set(_velmor_prefix "$ENV{VELMOR_DEPS_PREFIX}")
  elseif(DEFINED ENV{VELMOR_DEPS_CACHE})
    set(_velmor_prefix "$ENV{VELMOR_DEPS_CACHE}/emscripten/prefix")
  else()
    set(_velmor_prefix "$ENV{HOME}/.cache/velmor-deps/emscripten/prefix")
  endif()
  set(VELMOR_DEPS_PREFIX "${_velmor_prefix}" CACHE PATH "Prefix of the web libraries built by scripts/deps.sh")
endif()
# try_compile projects read this file again; they must see the same prefix.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VELMOR_DEPS_PREFIX)

# Ahead of Emscripten's sysroot, whose SDL2 config files describe its port.
list(PREPEND CMAKE_FIND_ROOT_PATH "${VELMOR_DEPS_PREFIX}")

# pkg-config sees only the web libraries.
set(ENV{PKG_CONFIG_LIBDIR} "${VELMOR_DEPS_PREFIX}/lib/pkgconfig")
unset(ENV{PKG_CONFIG_PATH})
