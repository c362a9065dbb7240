#!/usr/bin/env bash
# Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
# Checks the Windows side of Plinth on this Debian machine:
#   1. every product source under src/ and lib/ compiles for Windows
#      (mingw-w64, -Wall -Wextra -Wpedantic -Werror) against the headers of
#      SQLCipher, Boost, log4cxx, pugixml and expat; the SQLite extension DLLs
#      link;
#   2. the Windows platform layer (lib/Port/*Win32.cpp) passes its tests,
#      tests/windows, run under wine in the code pages 1252 and 936.
# A full Windows build of the tool is not made: Debian has no Windows builds
# of its libraries. Installs with apt-get what is missing (the toolchain, wine,
# the Linux packages of the library headers). Ends non-zero on any failure.
#
# PLINTH_WINDOWS_BUILD names the build directory (default build-windows; the
# wine prefix lives in it); PLINTH_JOBS the number of parallel compiles.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${PLINTH_WINDOWS_BUILD:-build-windows}
jobs=${PLINTH_JOBS:-2}

# The posix-thread variant of mingw-w64: the win32 variant lacks std::mutex.
windows_packages=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix wine wine64)

phase_start=$SECONDS
phase() {
  echo "check-windows: $1 ($((SECONDS - phase_start)) s)"
  phase_start=$SECONDS
}

install_missing() {
  ./scripts/install-deps.sh
  local missing=() package
  for package in "${windows_packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$package")
    fi
  done
  if [ ${#missing[@]} -eq 0 ]; then
    echo "check-windows: the toolchain and wine are installed"
    return
  fi
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi
  echo "check-windows: installing ${missing[*]}"
  # Other installs may hold the dpkg lock for a while: wait for it.
  "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 update
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600 \
    install -y --no-install-recommends "${missing[@]}"
}

# Compiles every source for Windows; links what needs no Linux-only library.
compile_for_windows() {
  cmake -S . -B "$build" --toolchain cmake/mingw-w64-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=Release -DPLINTH_HEADERS_ONLY=ON -DBUILD_TESTING=ON \
    -DPLINTH_WERROR=ON >/dev/null
  cmake --build "$build" -j "$jobs"
}

# Fails unless every product source (all of src/ and lib/ but the POSIX
# platform files and the tests) was compiled by the Windows build.
check_every_source_compiled() {
  local compiled missing=() source count=0
  compiled=$(grep -o '"file": "[^"]*"' "$build/compile_commands.json")
  while IFS= read -r source; do
    count=$((count + 1))
    if ! grep -qF "\"file\": \"$PWD/$source\"" <<<"$compiled"; then missing+=("$source"); fi
  done < <(find src lib -type f \( -name '*.c' -o -name '*.cpp' \) \
             ! -name '*Posix.cpp' ! -name '*_test.cpp' | sort)
  if [ ${#missing[@]} -ne 0 ]; then
    echo "check-windows: not compiled for Windows: ${missing[*]}" >&2
    return 1
  fi
  echo "check-windows: $count product sources compiled for Windows with -Werror"
}

# wine, headless and quiet, in a prefix of its own. No Mono or Gecko prompts;
# winedbg off, so that a crashed program ends with its exception code.
export WINEPREFIX="$PWD/$build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"

start_wine() {
  mkdir -p "$WINEPREFIX"
  # One server for everything below, instead of one per run (already running
  # when an earlier run was cut short); it ends with this script.
  wineserver -p 2>/dev/null || true
  trap 'wineserver -k 2>/dev/null || true' EXIT
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    if ! wineboot --init >"$build/wineboot.log" 2>&1; then
      cat "$build/wineboot.log" >&2
      return 1
    fi
  fi
}

# The zh_CN.UTF-8 locale for the code page 936 run, made into the build tree
# when the machine has none: wine takes the code page from the locale's name,
# but the charset of file names from the locale itself. Sets `locale_path`.
locale_path=
chinese_locale() {
  if locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then return; fi
  locale_path="$PWD/$build/locale"
  if [ ! -d "$locale_path/zh_CN.UTF-8" ]; then
    mkdir -p "$locale_path"
    localedef -c -i zh_CN -f UTF-8 "$locale_path/zh_CN.UTF-8" >/dev/null 2>&1 || true
    if [ ! -d "$locale_path/zh_CN.UTF-8" ]; then
      echo "check-windows: localedef cannot make the locale zh_CN.UTF-8" >&2
      return 1
    fi
  fi
}

# Runs the platform tests under wine, expecting the ANSI code page `$1`, with
# the environment assignments that follow up to "--"; the arguments after it
# name tests (none: all). wine's notice of each deliberate crash is left out.
run_wine_tests() {
  local code_page=$1 environment=()
  shift
  while [ "$1" != -- ]; do
    environment+=("$1")
    shift
  done
  shift
  echo "check-windows: platform tests under wine, code page $code_page: ${*:-all tests}"
  env -u LANG -u LANGUAGE "${environment[@]}" \
    wine "$build/tests/windows/plinth_windows_port_tests.exe" --acp "$code_page" "$@" \
    2> >(grep -v '^wine: Unhandled ' >&2)
}

install_missing
phase "packages"
compile_for_windows
check_every_source_compiled
phase "compile check"
start_wine
chinese_locale
phase "wine prefix"
run_wine_tests 1252 LC_ALL=C.UTF-8 --
chinese=(LC_ALL=zh_CN.UTF-8)
if [ -n "$locale_path" ]; then chinese+=("LOCPATH=$locale_path"); fi
run_wine_tests 936 "${chinese[@]}" -- Fopen CodePages ExecutableDir
phase "platform tests"
cat <<EOF
check-windows: passed. Checked:
  - every product source under src/ and lib/ compiles for Windows (mingw-w64,
    -Wall -Wextra -Wpedantic -Werror) against the SQLCipher, Boost, log4cxx,
    pugixml and expat headers; the SQLite extension DLLs link;
  - the Windows platform layer under wine: single-instance mutex, debug privilege,
    fopen_s, executable directory (non-ASCII names), code pages 1252 and 936,
    minidumps and their rotation, path separator and library suffix.
Not checked here: a full Windows build of Plinth and its end-to-end tests.
EOF
