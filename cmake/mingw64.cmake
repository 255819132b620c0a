# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 compilers against
# the libraries scripts/deps.sh builds:
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw64.cmake \
#         -DVELMOR_DEPS_PREFIX="$(bash scripts/deps.sh mingw64 | tail -n1)" ...
# Without VELMOR_DEPS_PREFIX (cache variable or environment) it uses the
# default cache's prefix.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The posix thread model: GCC 12's win32 one lacks std::thread and std::mutex.
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

if(NOT VELMOR_DEPS_PREFIX)
  if(DEFINED ENV{VELMOR_DEPS_PREFIX})
    set(_velmor_prefix "$ENV{VELMOR_DEPS_PREFIX}")
  elseif(DEFINED ENV{VELMOR_DEPS_CACHE})
    set(_velmor_prefix "$ENV{VELMOR_DEPS_CACHE}/mingw64/prefix")
  else()
    set(_velmor_prefix "$ENV{HOME}/.cache/velmor-deps/mingw64/prefix")
  endif()
  set(VELMOR_DEPS_PREFIX "${_velmor_prefix}" CACHE PATH "Prefix of the Windows libraries built by scripts/deps.sh")
endif()
# try_compile projects read this file again; they must see the same prefix.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VELMOR_DEPS_PREFIX)

set(CMAKE_FIND_ROOT_PATH "${VELMOR_DEPS_PREFIX}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config sees only the Windows libraries.
set(ENV{PKG_CONFIG_LIBDIR} "${VELMOR_DEPS_PREFIX}/lib/pkgconfig")
unset(ENV{PKG_CONFIG_PATH})

# Test programs run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)

# Only libwinpthread-1.dll, not libgcc's and libstdc++'s DLLs, ships beside
# the programs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
