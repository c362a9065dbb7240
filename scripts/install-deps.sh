#!/usr/bin/env bash
# Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
# Installs with apt-get the Debian packages that building, testing and running
# Plinth need, and only those that are missing. Runs as root, or through sudo.
# Further package names given as arguments are installed the same way (the
# package script's tools).
#
# SQLCipher must be 4.6.1 or later. Debian 13 (trixie) has it in its own
# suite; on Debian 12 (bookworm) it comes from the official bookworm-backports
# suite, which is added to apt's sources when the machine lacks it, and an
# installed SQLCipher 3 is replaced. On Debian 12 the tests also use the old
# SQLCipher 3 library (libsqlcipher0), which installs beside the new one.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  libboost-filesystem-dev libboost-system-dev
  liblog4cxx-dev libpugixml-dev libexpat1-dev
  # OpenSSL's libcrypto: the key derivation and a new file's salt
  libssl-dev
  libgtest-dev
  # for the tests: a JSON parser for the log written as JSON
  nlohmann-json3-dev
  # for the tests: the check of the documentation's example log lines
  python3
  # for the tests: locale sources for a code-page test, and a SQLite that
  # does not encrypt
  locales libsqlite3-0
  "$@"
)
# Counted as present only at version 4 or later.
sqlcipher_packages=(libsqlcipher-dev sqlcipher)

codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
backports=
if [ "$codename" = bookworm ]; then
  backports=bookworm-backports
  packages+=(libsqlcipher0)
fi

sudo=()
if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi

installed_version() {
  { dpkg-query -W -f='${Status} ${Version}' "$1" 2>/dev/null || true; } |
    sed -n 's/^install ok installed //p'
}

missing=()
for package in "${packages[@]}"; do
  [ -n "$(installed_version "$package")" ] || missing+=("$package")
done
for package in "${sqlcipher_packages[@]}"; do
  version=$(installed_version "$package")
  if [ -z "$version" ] || dpkg --compare-versions "$version" lt 4; then
    missing+=("$package${backports:+/$backports}")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: every package is installed"
  exit 0
fi

# Prints the mirror that serves the release itself, from apt's own view of
# its sources (whatever files and formats they are written in).
release_mirror() {
  apt-cache policy 2>/dev/null |
    awk -v suite="$codename/main" '$3 == suite && $2 ~ /^https?:/ { print $2; exit }' |
    grep . || echo http://deb.debian.org/debian
}

# Adds the bookworm-backports suite to apt's sources unless a source names it
# already, signed by Debian's archive keyring.
add_backports_source() {
  local keyring=/usr/share/keyrings/debian-archive-keyring.gpg
  local file=/etc/apt/sources.list.d/plinth-bookworm-backports.sources
  if grep -Eqs "^[^#]*[[:space:]]$backports([[:space:]]|\$)" \
      /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; then
    return 0
  fi
  if [ ! -f "$keyring" ]; then
    "${sudo[@]}" apt-get update
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends debian-archive-keyring
  fi
  echo "install-deps: adding $backports to apt's sources ($file)"
  printf 'Types: deb\nURIs: %s\nSuites: %s\nComponents: main\nSigned-By: %s\n' \
    "$(release_mirror)" "$backports" "$keyring" | "${sudo[@]}" tee "$file" >/dev/null
}

[ -z "$backports" ] || add_backports_source
echo "install-deps: installing ${missing[*]}"
"${sudo[@]}" apt-get update
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
