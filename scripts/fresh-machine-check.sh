#!/usr/bin/env bash
# Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
# Proves the README's two commands on a truly fresh machine: makes a minbase
# root of Debian 12 (bookworm, the default) or Debian 13 (trixie) with
# debootstrap, clones this repository into it and runs
# `./scripts/run-sample.sh` and `./scripts/test.sh` there with chroot and a
# clean environment. Prints each command's exit code and wall time; ends with
# 1 when a command failed, and with 2 when the root could not be set up.
#
# The root's apt sources: for the release this machine runs, this machine's
# own (a local mirror or proxy keeps working), but for the file
# scripts/install-deps.sh writes to add bookworm-backports, which the fresh
# machine must get from install-deps.sh itself. For another release, Debian's
# sources of that release only (the suite, its -updates and -security), from
# the mirror this machine uses for Debian or deb.debian.org: this machine's
# sources name its own release, and other archives than Debian's are no part
# of a fresh machine.
#
# Runs as root. Installs debootstrap with apt-get when it is missing. Takes ten
# to thirty minutes on two cores: the root's packages are downloaded, and the
# project is built plainly and with the sanitizers.
#
# The clone is of HEAD: uncommitted changes are not part of the check.
#
# The chroot part runs in a private mount namespace when `unshare` can make
# one, so that no mount can outlive the script; the script still unmounts
# everything under the root itself, and never removes the root while anything
# is mounted below it.

# cleanup and the functions it calls run from the EXIT trap, which shellcheck
# does not follow past the final exit.
# shellcheck disable=SC2317
set -euo pipefail

readonly commands_all=(run-sample test)
readonly root_path=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
readonly releases=(bookworm trixie)
readonly default_mirror=http://deb.debian.org/debian
readonly default_security_mirror=http://deb.debian.org/debian-security
readonly archive_keyring=/usr/share/keyrings/debian-archive-keyring.gpg
readonly clone_dir=/root/plinth

repo=$(cd "$(dirname "$0")/.." && pwd)
script=$repo/scripts/$(basename "$0")

usage() {
  cat <<EOF
Usage: sudo $0 [options]

  -R, --release NAME  the Debian release of the fresh root: bookworm (Debian 12,
                      the default) or trixie (Debian 13)
  -c, --command NAME  run only this README command: run-sample or test
                      (may be given twice; default: both, in the README's order)
  -r, --root DIR      the directory for the fresh root; must not exist or be
                      empty (default: a new directory under /var/tmp)
  -k, --keep          keep the root afterwards (its mounts are still removed)
  -h, --help          this text
EOF
}

say() { echo "fresh-machine-check: $*"; }
release_name() {
  case $suite in bookworm) echo "Debian 12 (bookworm)" ;; trixie) echo "Debian 13 (trixie)" ;; esac
}
die() { echo "fresh-machine-check: $*" >&2; exit 2; }
step() { printf '\n==> %s\n' "$*"; }

# --- options ----------------------------------------------------------------

commands=()
root=
keep=0
suite=bookworm

parse_options() {
  while [ $# -gt 0 ]; do
    case $1 in
      -R | --release)
        [ $# -ge 2 ] || die "$1 needs a release name"
        case " ${releases[*]} " in
          *" $2 "*) suite=$2 ;;
          *) die "unknown release '$2' (one of: ${releases[*]})" ;;
        esac
        shift 2 ;;
      -c | --command)
        [ $# -ge 2 ] || die "$1 needs a command name"
        case $2 in run-sample | test) commands+=("$2") ;; *) die "unknown command '$2'" ;; esac
        shift 2 ;;
      -r | --root)
        [ $# -ge 2 ] || die "$1 needs a directory"
        root=$2
        shift 2 ;;
      -k | --keep) keep=1; shift ;;
      -h | --help) usage; exit 0 ;;
      *) usage >&2; exit 2 ;;
    esac
  done
  [ ${#commands[@]} -gt 0 ] || commands=("${commands_all[@]}")
}

# --- the root directory -------------------------------------------------------

# Makes the root directory (or takes the empty one given) and resolves it to
# the path the kernel reports for mounts below it.
make_root_dir() {
  if [ -z "$root" ]; then
    root=$(mktemp -d /var/tmp/plinth-fresh.XXXXXX)
  else
    if [ -e "$root" ] && { [ ! -d "$root" ] || [ -n "$(ls -A "$root")" ]; }; then
      die "$root exists and is not an empty directory; not using it"
    fi
    mkdir -p "$root"
  fi
  root=$(realpath "$root")
  # It becomes the root's "/", which every user must be able to traverse, as
  # on a real machine (mktemp makes it private; apt's download user, _apt,
  # and any test that drops privileges would be refused).
  chmod 0755 "$root"
  # The mount table escapes blanks and backslashes; a root without them can be
  # compared with it as is.
  case $root in
    / | *[[:space:]\\]*) die "unusable root directory '$root'" ;;
  esac
}

# Prints the mount points at and below the root, deepest first.
mounts_below_root() {
  awk -v r="$root" '$5 == r || index($5, r "/") == 1 { print $5 }' /proc/self/mountinfo | sort -r
}

# The long step running now (debootstrap or a README command), in a process
# group of its own: its process id is the group's id.
step_pid=

# Runs a long step in the background and waits for it: bash runs a signal's
# trap only after a foreground command ends, but interrupts a wait at once.
run_step() {
  local rc=0
  setsid "$@" 3>&- 4>&- &  # without the script's saved descriptors
  step_pid=$!
  wait "$step_pid" || rc=$?
  step_pid=
  return "$rc"
}

# Stops the whole process group of a step cut short by a signal, so that
# nothing still writes into the root while it is unmounted and removed.
stop_step() {
  local signal
  [ -n "$step_pid" ] || return 0
  for signal in TERM KILL; do
    kill -0 -- "-$step_pid" 2>/dev/null || return 0
    say "stopping the running step (SIG$signal)"
    kill -s "$signal" -- "-$step_pid" 2>/dev/null || true
    for _ in 1 2 3 4 5 6 7 8 9 10; do
      kill -0 -- "-$step_pid" 2>/dev/null || return 0
      sleep 1
    done
  done
}

# Stops the processes still running inside the root (a command cut short by a
# signal), which would keep its mounts busy.
stop_root_processes() {
  local signal pid pids
  for signal in TERM KILL; do
    pids=()
    for pid in /proc/[0-9]*; do
      [ "$(readlink "$pid/root" 2>/dev/null)" = "$root" ] && pids+=("${pid#/proc/}")
    done
    [ ${#pids[@]} -gt 0 ] || return 0
    say "stopping processes left in the root (SIG$signal): ${pids[*]}"
    kill -s "$signal" "${pids[@]}" 2>/dev/null || true
    sleep 2
  done
}

# Unmounts everything at and below the root, including what debootstrap left
# behind after a failure. A lazy unmount is the last resort: it detaches the
# mount at once, so nothing removed afterwards can reach through it.
unmount_root() {
  local mount
  [ -n "$(mounts_below_root)" ] || return 0
  stop_root_processes
  for mount in $(mounts_below_root); do
    umount "$mount" 2>/dev/null || umount -l "$mount" || say "cannot unmount $mount"
  done
  if [ -n "$(mounts_below_root)" ]; then
    say "still mounted below $root: $(mounts_below_root | tr '\n' ' ')"
    return 1
  fi
}

# Runs on every exit: unmounts, then removes the root unless it is kept.
# Removal only follows a mount table that shows nothing below the root, and
# stays on the root's file system all the same.
cleanup() {
  local rc=$?
  exec >&3 2>&4  # a trap may run inside a step's redirection
  trap - EXIT
  trap '' INT TERM  # a second interrupt must not cut the unmounting short
  stop_step
  [ -n "$root" ] && [ -d "$root" ] || exit "$rc"
  if ! unmount_root; then
    say "leaving $root in place: something is still mounted below it"
    exit $((rc == 0 ? 2 : rc))
  fi
  [ -z "${debootstrap_log:-}" ] || rm -f "$debootstrap_log"
  if [ "$keep" -eq 1 ]; then
    say "kept the root in $root"
  else
    say "removing $root"
    rm -rf --one-file-system -- "$root"
  fi
  exit "$rc"
}

# --- this machine's apt sources -------------------------------------------------

# Prints the apt source files that apt reads on this machine: sources.list and
# the *.list and *.sources files of sources.list.d (apt ignores other names,
# and allows no blanks in them).
host_source_files() {
  local file
  for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
    [ ! -f "$file" ] || echo "$file"
  done
}

# The files scripts/install-deps.sh writes into sources.list.d (it adds
# bookworm-backports on Debian 12). A fresh machine has none of them; the
# check is that install-deps.sh adds them there itself.
install_deps_source() {
  case $(basename "$1") in plinth-*.sources) return 0 ;; *) return 1 ;; esac
}

# Prints the first URI in one source file that serves the suite $2 (a whole
# suite name: "bookworm" is not "bookworm-updates").
mirror_in_file() {
  case $1 in
    *.sources)
      awk -v suite="$2" '
        function flush() {
          if (!found && deb && uri != "" && enabled && index(" " suites " ", " " suite " ")) {
            print uri
            found = 1
            exit  # runs END, which calls this again
          }
          deb = 0; uri = ""; suites = ""; enabled = 1
        }
        BEGIN { enabled = 1 }
        /^[[:space:]]*$/ { flush(); next }
        /^Types:/ { deb = (" " $0 " ") ~ / deb / }
        /^URIs:/ { uri = $2 }
        /^Suites:/ { suites = substr($0, 8); gsub(/[[:space:]]+/, " ", suites) }
        /^Enabled:/ { enabled = ($2 != "no") }
        END { flush() }' "$1" ;;
    *)
      # deb [options] uri suite component...
      sed -e 's/#.*//' -e 's/\[[^]]*\]//' "$1" |
        awk -v suite="$2" '$1 == "deb" && $3 == suite { print $2; exit }' ;;
  esac
}

# Prints the URI of this machine's sources that serves the first of the suites
# given that one serves, or nothing.
host_uri_of() {
  local suite_name file uri
  for suite_name in "$@"; do
    for file in $(host_source_files); do
      uri=$(mirror_in_file "$file" "$suite_name")
      if [ -n "$uri" ]; then echo "$uri"; return; fi
    done
  done
}

host_release=$(sed -n "s/^VERSION_CODENAME=//p" /etc/os-release)

# The Debian mirror for the root: the one this machine uses for the release,
# else the one it uses for its own release (a Debian mirror serves every
# release), else deb.debian.org. The same for the security archive.
host_mirror() {
  local uri
  uri=$(host_uri_of "$suite" "$host_release")
  echo "${uri:-$default_mirror}"
}
host_security_mirror() {
  local uri
  uri=$(host_uri_of "$suite-security" "$host_release-security")
  echo "${uri:-$default_security_mirror}"
}

# Copies a keyring a source names into the root when the root lacks it.
copy_keyrings_of() {
  local keyring
  sed -n -e 's/^Signed-By:[[:space:]]*\(\/[^[:space:]]*\).*/\1/p' \
         -e 's/.*signed-by=\(\/[^] ]*\).*/\1/p' "$1" |
    while IFS= read -r keyring; do
      if [ -f "$keyring" ] && [ ! -e "$root$keyring" ]; then
        mkdir -p "$(dirname "$root$keyring")"
        cp "$keyring" "$root$keyring"
      fi
    done
}

# Gives the root its apt sources in place of the one debootstrap wrote: for
# this machine's release this machine's sources (with any keyring they name
# that the root lacks), but for those install-deps.sh wrote; for another
# release Debian's sources of that release.
write_root_sources() {
  local file copied=()
  rm -f "$root/etc/apt/sources.list"
  if [ "$suite" = "$host_release" ]; then
    for file in $(host_source_files); do
      install_deps_source "$file" && continue
      cp "$file" "$root$file"
      copy_keyrings_of "$file"
      copied+=("$file")
    done
    echo "    apt sources: this machine's, ${copied[*]}"
    return
  fi
  file=/etc/apt/sources.list.d/debian.sources
  printf 'Types: deb\nURIs: %s\nSuites: %s %s-updates\nComponents: main\nSigned-By: %s\n\n' \
    "$(host_mirror)" "$suite" "$suite" "$archive_keyring" >"$root$file"
  printf 'Types: deb\nURIs: %s\nSuites: %s-security\nComponents: main\nSigned-By: %s\n' \
    "$(host_security_mirror)" "$suite" "$archive_keyring" >>"$root$file"
  copy_keyrings_of "$root$file"
  echo "    apt sources: $file, Debian's for $suite:"
  sed -n 's/^\(URIs\|Suites\): /      \1: /p' "$root$file"
}

# --- setting up ---------------------------------------------------------------

# Installs debootstrap on this machine when it is missing, waiting for the
# package manager's lock when another installation holds it.
ensure_debootstrap() {
  command -v debootstrap >/dev/null && return 0
  step "Installing debootstrap"
  local apt=(apt-get -o DPkg::Lock::Timeout=600 -y --no-install-recommends)
  DEBIAN_FRONTEND=noninteractive "${apt[@]}" install debootstrap ||
    { apt-get -o DPkg::Lock::Timeout=600 update &&
        DEBIAN_FRONTEND=noninteractive "${apt[@]}" install debootstrap; } ||
    die "cannot install debootstrap"
}

# Makes the minbase root. git is in it because the README's first step on a
# fresh machine installs it to clone the repository.
bootstrap_root() {
  local mirror
  mirror=$(host_mirror)
  step "Making a $(release_name) minbase root in $root from $mirror"
  debootstrap_log=$(mktemp /var/tmp/plinth-debootstrap.XXXXXX.log)
  if ! run_step debootstrap --variant=minbase --include=git "$suite" "$root" "$mirror" >"$debootstrap_log" 2>&1; then
    tail -n 30 "$debootstrap_log" | sed 's/^/    /'
    die "debootstrap failed"
  fi
  echo "    done"
  write_root_sources
  cp -L /etc/resolv.conf "$root/etc/resolv.conf"
}

# Clones the repository at HEAD into the root, and remembers which commit it
# was: HEAD may move while the commands run.
checked_commit=
clone_repository() {
  local head
  head=$(git -C "$repo" rev-parse HEAD)
  checked_commit=$(git -C "$repo" log -1 --format=%h "$head")
  step "Cloning $repo at $(git -C "$repo" log -1 --format='%h %s' "$head")"
  if [ -n "$(git -C "$repo" status --porcelain --untracked-files=no)" ]; then
    echo "    note: the checkout has uncommitted changes; they are not part of the check"
  fi
  git clone --quiet --no-hardlinks "$repo" "$root$clone_dir"
  git -C "$root$clone_dir" checkout --quiet --detach "$head"
}

# Mounts what apt, the builds and the tests need: /proc (the sanitizers and
# the tests read it), /dev with its pseudo-terminals, and a private /dev/shm.
mount_root_filesystems() {
  mount -t proc proc "$root/proc"
  mount --bind /dev "$root/dev"
  mount --bind /dev/pts "$root/dev/pts"
  mount -t tmpfs -o mode=1777,nosuid,nodev shm "$root/dev/shm"
}

# --- the README commands -----------------------------------------------------

results=()
failed=0

# Runs one README command inside the root with a clean environment and
# records its exit code and wall time.
run_command() {
  local name=$1 start rc elapsed
  local environment=(HOME=/root PATH="$root_path" TERM=dumb LANG=C.UTF-8)
  step "./scripts/$name.sh (in the fresh root, ${environment[*]})"
  start=$(date +%s)
  rc=0
  run_step chroot "$root" /usr/bin/env -i -C "$clone_dir" "${environment[@]}" "./scripts/$name.sh" || rc=$?
  elapsed=$(($(date +%s) - start))
  results+=("$(printf '%-24s exit %-3s %dm%02ds' "./scripts/$name.sh" "$rc" $((elapsed / 60)) $((elapsed % 60)))")
  [ "$rc" -eq 0 ] || failed=1
}

print_summary() {
  local line
  step "Summary ($checked_commit in a fresh $(release_name) minbase root)"
  for line in "${results[@]}"; do echo "    $line"; done
}

main() {
  parse_options "$@"
  [ "$(id -u)" -eq 0 ] || die "run as root (sudo $0)"
  # A private mount namespace: the mounts below are never seen outside the
  # script, and vanish with it even if it is killed.
  if [ -z "${PLINTH_FRESH_NAMESPACE:-}" ] && unshare --mount --propagation private true 2>/dev/null; then
    PLINTH_FRESH_NAMESPACE=1 exec unshare --mount --propagation private "$script" "$@"
  fi
  ensure_debootstrap
  make_root_dir
  exec 3>&1 4>&2
  trap cleanup EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
  bootstrap_root
  clone_repository
  mount_root_filesystems
  local name
  for name in "${commands[@]}"; do run_command "$name"; done
  print_summary
  if [ "$failed" -ne 0 ]; then
    say "FAILED"
    exit 1
  fi
  say "every command passed"
}

# On one line, so that bash has read all of it before main runs: the script
# may be edited or checked out anew during the long run.
main "$@"; exit
