#!/usr/bin/env bash
# Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
# Maintainer check of the Debian package on a fresh machine: builds the
# package (scripts/build-package.sh), makes a minbase root of Debian 12
# (bookworm, the default) or Debian 13 (trixie) with debootstrap, installs the
# package there with apt-get (which brings its dependencies), stages the
# sample product as a product's installer would, runs `plinth platform` and
# every other plug-in of the sample, checks the databases and the log, and
# purges the package again. Prints each step and ends with 0 when all of it
# passed, 1 when a check failed, 2 when the root could not be set up.
#
#   sudo ./scripts/package-check.sh [--release NAME] [--keep] [--deb FILE]
#     -R, --release NAME  the root's release: bookworm (default) or trixie
#     -k, --keep          keep the root afterwards (its mounts are still removed)
#     --deb FILE          check this package instead of building one
#
# A package built on Debian 12 installs on Debian 12 and 13; one built on
# Debian 13 needs Debian 13's C library.
#
# Runs as root and takes minutes (the root's packages are downloaded); not
# part of .ci/run. The root's apt sources are this machine's when the root is
# of this machine's release, else Debian's sources of the release (the suite,
# -updates and -security, from this machine's Debian mirror). The package
# needs libsqlcipher1 (>= 4.6.1), which Debian 12 has in bookworm-backports
# only: a bookworm root gets that suite the way scripts/install-deps.sh adds
# it, and the sqlcipher shell of the checks comes from there too. The chroot
# part runs in a private mount namespace, so no mount outlives the script;
# the script still unmounts everything below the root on every exit, and
# removes the root only when nothing is mounted below it.
set -euo pipefail

readonly default_mirror=http://deb.debian.org/debian
readonly default_security_mirror=http://deb.debian.org/debian-security
readonly archive_keyring=/usr/share/keyrings/debian-archive-keyring.gpg
readonly root_path=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
repo=$(cd "$(dirname "$0")/.." && pwd)
script=$repo/scripts/$(basename "$0")

say() { echo "package-check: $*"; }
die() { echo "package-check: $*" >&2; exit 2; }
step() { printf '\n==> %s\n' "$*"; }

# The options as given, for the run in the private mount namespace below.
options=("$@")
keep=0
deb=
suite=bookworm
while [ $# -gt 0 ]; do
  case $1 in
    -R | --release)
      [ $# -ge 2 ] || die "$1 needs a release name"
      case $2 in bookworm | trixie) suite=$2 ;; *) die "unknown release '$2' (bookworm or trixie)" ;; esac
      shift 2 ;;
    -k | --keep) keep=1; shift ;;
    --deb) [ $# -ge 2 ] || die "--deb needs a file"; deb=$(realpath "$2"); shift 2 ;;
    *) echo "usage: sudo $0 [--release bookworm|trixie] [--keep] [--deb FILE]" >&2; exit 2 ;;
  esac
done
case $suite in
  bookworm) release_name="Debian 12 (bookworm)"; backports=bookworm-backports ;;
  trixie) release_name="Debian 13 (trixie)"; backports= ;;
esac
host_release=$(sed -n 's/^VERSION_CODENAME=//p' /etc/os-release)
[ "$(id -u)" -eq 0 ] || die "run as root (sudo $0)"

# A private mount namespace: the mounts below vanish with the script, even
# when it is killed.
if [ -z "${PLINTH_PACKAGE_CHECK_NAMESPACE:-}" ] &&
    unshare --mount --propagation private true 2>/dev/null; then
  PLINTH_PACKAGE_CHECK_NAMESPACE=1 exec unshare --mount --propagation private "$script" "${options[@]}"
fi

# --- the root and its mounts -------------------------------------------------

root=
work=

mounts_below_root() {
  awk -v r="$root" '$5 == r || index($5, r "/") == 1 { print $5 }' /proc/self/mountinfo | sort -r
}

unmount_root() {
  local mount
  for mount in $(mounts_below_root); do
    umount "$mount" 2>/dev/null || umount -l "$mount" || say "cannot unmount $mount"
  done
  [ -z "$(mounts_below_root)" ]
}

cleanup() {
  local rc=$?
  trap - EXIT
  trap '' INT TERM
  [ -z "$work" ] || rm -rf "$work"
  [ -n "$root" ] && [ -d "$root" ] || exit "$rc"
  if ! unmount_root; then
    say "leaving $root in place: something is still mounted below it"
    exit $((rc == 0 ? 2 : rc))
  fi
  if [ "$keep" -eq 1 ]; then
    say "kept the root in $root"
  else
    rm -rf --one-file-system -- "$root"
  fi
  exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

readonly source_files=(/etc/apt/sources.list /etc/apt/sources.list.d/*.list
                       /etc/apt/sources.list.d/*.sources)

# The first URI of this machine's deb822 or one-line sources that serves the
# suite $1 (a whole suite name: "bookworm" is not "bookworm-updates").
host_uri_of() {
  local file uri
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] || continue
    uri=$(awk -v s="$1" 'BEGIN { RS = "" }
      / deb/ && $0 ~ ("Suites:[^\n]*[ ]" s "([ \n]|$)") {
        if (match($0, /URIs:[ ]*[^ \n]+/)) { split(substr($0, RSTART, RLENGTH), f, /[ ]+/); print f[2]; exit }
      }' "$file")
    [ -z "$uri" ] || { echo "$uri"; return; }
  done
  for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$file" ] || continue
    uri=$(sed -e 's/#.*//' -e 's/\[[^]]*\]//' "$file" | awk -v s="$1" '$1 == "deb" && $3 == s { print $2; exit }')
    [ -z "$uri" ] || { echo "$uri"; return; }
  done
}

# The Debian mirror this machine uses for the release, else for its own
# release (a Debian mirror serves every release), else deb.debian.org; the
# same for the security archive.
host_mirror() {
  local uri
  uri=$(host_uri_of "$suite")
  [ -n "$uri" ] || uri=$(host_uri_of "$host_release")
  echo "${uri:-$default_mirror}"
}
host_security_mirror() {
  local uri
  uri=$(host_uri_of "$suite-security")
  [ -n "$uri" ] || uri=$(host_uri_of "$host_release-security")
  echo "${uri:-$default_security_mirror}"
}

# Writes a deb822 source of Debian's archive into the root.
write_debian_source() {  # file, URI, suites
  printf 'Types: deb\nURIs: %s\nSuites: %s\nComponents: main\nSigned-By: %s\n\n' \
    "$2" "$3" "$archive_keyring" >>"$root$1"
}

# The root's apt sources in place of the one debootstrap wrote: this
# machine's for its own release, Debian's of the release for another; on
# bookworm also bookworm-backports, added as scripts/install-deps.sh adds it
# when no source names it.
write_root_sources() {
  local file
  rm -f "$root/etc/apt/sources.list"
  if [ "$suite" = "$host_release" ]; then
    for file in "${source_files[@]}"; do
      [ ! -f "$file" ] || cp "$file" "$root$file"
    done
  else
    write_debian_source /etc/apt/sources.list.d/debian.sources "$1" "$suite $suite-updates"
    write_debian_source /etc/apt/sources.list.d/debian.sources "$(host_security_mirror)" \
      "$suite-security"
  fi
  if [ -n "$backports" ] &&
      ! grep -Eqs "^[^#]*[[:space:]]$backports([[:space:]]|\$)" \
        "$root"/etc/apt/sources.list "$root"/etc/apt/sources.list.d/*.list \
        "$root"/etc/apt/sources.list.d/*.sources; then
    write_debian_source /etc/apt/sources.list.d/plinth-bookworm-backports.sources "$1" "$backports"
  fi
  [ -f "$root$archive_keyring" ] || cp "$archive_keyring" "$root$archive_keyring"
  echo "    apt sources: $(find "$root/etc/apt/sources.list.d" -maxdepth 1 -type f -printf '%f ')"
}

make_root() {
  local mirror
  command -v debootstrap >/dev/null || ./scripts/install-deps.sh debootstrap
  root=$(realpath "$(mktemp -d /var/tmp/plinth-package-check.XXXXXX)")
  # The root's "/": every user must be able to traverse it, as on a real
  # machine (apt's download user, _apt, and plinth run by another user).
  chmod 0755 "$root"
  mirror=$(host_mirror)
  step "Making a $release_name minbase root in $root from $mirror"
  if ! debootstrap --variant=minbase "$suite" "$root" "$mirror" >"$work/debootstrap.log" 2>&1; then
    tail -n 20 "$work/debootstrap.log"
    die "debootstrap failed"
  fi
  write_root_sources "$mirror"
  cp -L /etc/resolv.conf "$root/etc/resolv.conf"
  mount -t proc proc "$root/proc"
  mount --bind /dev "$root/dev"
  echo "    done"
}

# Runs a command inside the root with a clean environment, from /.
in_root() {
  chroot "$root" /usr/bin/env -i -C / HOME=/root PATH="$root_path" LANG=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive "$@"
}

# --- checks ------------------------------------------------------------------

failed=0
check() {  # description, command...
  local what=$1
  shift
  if "$@" >/dev/null 2>&1; then
    echo "    ok    $what"
  else
    echo "    FAIL  $what"
    failed=1
  fi
}

# True when no file that the installed package holds contains `text`.
package_lacks() {
  local file
  while IFS= read -r file; do
    [ ! -f "$root$file" ] || ! grep -qF -- "$1" "$root$file" || return 1
  done < <(in_root dpkg -L plinth)
}

run_plinth() {
  local rc
  set +e
  in_root plinth "$1" 2>&1 | sed 's/^/      | /'
  rc=${PIPESTATUS[0]}
  set -e
  check "plinth $1 exits with 0 (exit $rc)" test "$rc" -eq 0
}

main() {
  cd "$repo"
  work=$(mktemp -d /var/tmp/plinth-package-check-work.XXXXXX)
  if [ -z "$deb" ]; then
    step "Building the package"
    ./scripts/build-package.sh >"$work/build.log" 2>&1 ||
      { tail -n 30 "$work/build.log"; die "scripts/build-package.sh failed"; }
    deb=$(sed -n 's/^build-package: //p' "$work/build.log" | tail -n 1)
  fi
  [ -f "$deb" ] || die "no package at '$deb'"
  say "package $deb"
  # The sample's settings and extension libraries, from the package's build.
  cmake --install "${PLINTH_PACKAGE_BUILD_DIR:-build-package}" --component sample \
    --prefix "$work/sample" >/dev/null

  make_root

  step "Installing the package with apt-get"
  cp "$deb" "$root/tmp/"
  in_root apt-get update -qq >"$work/apt.log" 2>&1 || { tail "$work/apt.log"; die "apt-get update failed"; }
  in_root apt-get install -y -qq --no-install-recommends "/tmp/$(basename "$deb")" \
    "sqlcipher${backports:+/$backports}" \
    >>"$work/apt.log" 2>&1 || { tail -n 20 "$work/apt.log"; die "the package does not install"; }
  check "/usr/bin/plinth resolves to /usr/lib/plinth/Plinth" \
    test "$(in_root readlink -f /usr/bin/plinth)" = /usr/lib/plinth/Plinth
  check "/usr/lib/plinth/META_INFO is /etc/plinth" \
    test "$(in_root readlink /usr/lib/plinth/META_INFO)" = /etc/plinth
  check "the man page is installed" test -f "$root/usr/share/man/man1/plinth.1.gz"
  check "/var/log/plinth is 0750 root:adm" \
    test "$(in_root stat -c '%a %U:%G' /var/log/plinth)" = "750 root:adm"
  check "/var/lib/plinth/crash is 0700 root:root" \
    test "$(in_root stat -c '%a %U:%G' /var/lib/plinth/crash)" = "700 root:root"
  local sample_key
  sample_key=$(sed -n 's/.*PRAGMA="key"[[:space:]]*VALUE="\([^"]*\)".*/\1/p' \
    "$work/sample/META_INFO/SQLiteConf/SQLiteConfig.xml")
  check "the sample's key is in no file of the package" package_lacks "$sample_key"

  step "Running plinth with the settings as shipped"
  local rc
  set +e
  in_root plinth platform 2>&1 | sed 's/^/      | /'
  rc=${PIPESTATUS[0]}
  set -e
  check "plinth platform fails (exit 1, it was $rc): the product is not there" test "$rc" -eq 1
  check "the log in /var/log/plinth/plinth.log names the missing Product.xml" \
    grep -q 'ReadFile fail, path = /opt/product/system/../Product.xml' "$root/var/log/plinth/plinth.log"

  step "Staging the sample product as its installer would"
  local system=/opt/sample/product/system
  mkdir -p "$root/opt/sample"
  cp -R sample/product "$root/opt/sample/"
  cp "$work"/sample/sqlite_ext/*.so "$root$system/"
  cp "$work/sample/META_INFO/SQLiteConf/SQLiteConfig.xml" "$root/etc/plinth/SQLiteConf/"
  cp "$work/sample/META_INFO/db_init/SQLite/create_public_data.sql" "$root/etc/plinth/db_init/SQLite/"
  cat >"$root/etc/plinth/InitSetup.xml" <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<Configs>
  <SQLiteDataPath>/var/lib/plinth/data</SQLiteDataPath>
  <SYSPath>$system</SYSPath>
</Configs>
EOF
  echo "    system directory $system, data directory /var/lib/plinth/data"

  step "Running plinth"
  run_plinth platform
  run_plinth inventory
  run_plinth audit

  step "Checking the databases and the log"
  local key db
  key=$(sed -n 's/.*PRAGMA="key"[[:space:]]*VALUE="\([^"]*\)".*/\1/p' "$root/etc/plinth/SQLiteConf/SQLiteConfig.xml")
  for db in public platform event inventory audit; do
    check "$db.db is encrypted" \
      sh -c "! chroot '$root' sqlcipher -batch /var/lib/plinth/data/$db.db 'SELECT 1 FROM sqlite_master;'"
  done
  local sqlcipher_version
  # shellcheck disable=SC2016 # dpkg-query's own ${Version}
  sqlcipher_version=$(in_root dpkg-query -W -f='${Version}' libsqlcipher1 || true)
  check "libsqlcipher1 is 4.6.1 or later ($sqlcipher_version)" \
    dpkg --compare-versions "$sqlcipher_version" ge 4.6.1
  # SQLCipher 4 answers the key pragma with a row "ok": it goes to /dev/null.
  check "inventory.db holds the sample's 4 items" test "$(
    printf ".output /dev/null\nPRAGMA key = '%s';\n.output\nSELECT count(*) FROM item;\n" "$key" |
      in_root sqlcipher -batch -bail -init /dev/null /var/lib/plinth/data/inventory.db)" = 4
  check "the log is /var/log/plinth/plinth.log, with 3 successful runs" \
    test "$(grep -c 'RUN Plinth SUCCESS\.' "$root/var/log/plinth/plinth.log")" -eq 3
  check "the key is not in the log" sh -c "! grep -qF -- '$key' '$root/var/log/plinth/plinth.log'"
  check "the log file is 0640" test "$(stat -c %a "$root/var/log/plinth/plinth.log")" = 640
  check "nothing was written beside the executable" \
    test "$(ls "$root/usr/lib/plinth" | tr '\n' ' ')" = "META_INFO Plinth "

  step "Purging the package"
  in_root dpkg --purge plinth >>"$work/apt.log" 2>&1 || { tail "$work/apt.log"; failed=1; }
  check "/usr/lib/plinth, /usr/bin/plinth and /etc/plinth are gone" \
    test ! -e "$root/usr/lib/plinth" -a ! -e "$root/usr/bin/plinth" -a ! -e "$root/etc/plinth"
  check "the log directory and the crash reports' directory are gone" \
    test ! -e "$root/var/log/plinth" -a ! -e "$root/var/lib/plinth/crash"
  check "the product's databases stay" test -f "$root/var/lib/plinth/data/platform.db"

  echo
  if [ "$failed" -ne 0 ]; then
    say "FAILED"
    exit 1
  fi
  say "the package installs in a fresh $release_name root and builds the sample product there"
}

main
