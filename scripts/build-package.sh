#!/usr/bin/env bash
# Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
# Builds the Debian package of Plinth with CPack (cmake/Package.cmake) and
# checks it with lintian. Installs what is missing first, pandoc (for the man
# page), lintian and dpkg-dev (dpkg-shlibdeps) among it.
#
#   PLINTH_PACKAGE_BUILD_DIR  build directory (default: build-package)
#   PLINTH_JOBS               parallel build jobs (default: 2)
#
# Prints the package's path, its contents and lintian's report. Exits non-zero
# when the build fails or lintian reports an error; warnings are printed only
# (cmake/Package.cmake says why each one remains).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"

build=${PLINTH_PACKAGE_BUILD_DIR:-build-package}
jobs=${PLINTH_JOBS:-2}

step() { printf '\n==> %s\n' "$*"; }

step "Installing dependencies"
./scripts/install-deps.sh pandoc lintian dpkg-dev file gzip

# Debian's compiler and linker flags (hardening, optimisation) as a Debian
# build of the package would use them.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cppflags=$(dpkg-buildflags --get CPPFLAGS)
cflags="$(dpkg-buildflags --get CFLAGS) $cppflags"
cxxflags="$(dpkg-buildflags --get CXXFLAGS) $cppflags"
ldflags=$(dpkg-buildflags --get LDFLAGS)

step "Building in $build"
cmake -S . -B "$build" \
  -DPLINTH_INSTALL_LAYOUT=system -DCMAKE_INSTALL_PREFIX=/usr \
  -DPLINTH_DUMP_DIR=/var/lib/plinth/crash \
  -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
  -DCMAKE_C_FLAGS="$cflags" -DCMAKE_CXX_FLAGS="$cxxflags" \
  -DCMAKE_EXE_LINKER_FLAGS="$ldflags" -DCMAKE_MODULE_LINKER_FLAGS="$ldflags"
cmake --build "$build" -j "$jobs"

step "Packaging"
rm -f "$build"/plinth_*.deb
(cd "$build" && cpack -G DEB)
debs=("$build"/plinth_*.deb)
[ -f "${debs[0]}" ] || { echo "build-package: cpack made no package" >&2; exit 1; }
deb=$(realpath "${debs[0]}")
dpkg-deb --field "$deb"
dpkg-deb --contents "$deb"

step "lintian"
set +e
lintian --fail-on error "$deb"
rc=$?
set -e
if [ "$rc" -ne 0 ]; then
  echo "build-package: lintian reports errors (exit $rc)" >&2
  exit 1
fi
echo
echo "build-package: $deb"
