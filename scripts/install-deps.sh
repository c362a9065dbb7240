#!/usr/bin/env bash
# Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
# Installs with apt-get the Debian packages that building, testing and running
# Plinth need, and only those that are missing. Runs as root, or through sudo.
# Further package names given as arguments are installed the same way (the
# package script's tools).
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  libsqlcipher-dev sqlcipher
  libboost-filesystem-dev libboost-system-dev
  liblog4cxx-dev libpugixml-dev
  libgtest-dev
  # for the tests: locale sources for a code-page test, and a SQLite that
  # does not encrypt
  locales libsqlite3-0
  "$@"
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: every package is installed"
  exit 0
fi

sudo=()
if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi
echo "install-deps: installing ${missing[*]}"
"${sudo[@]}" apt-get update
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
