#!/bin/sh
# Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
# Checks the built man page: groff renders it without a warning (the check
# lintian makes), man's index finds it as Plinth and as plinth, and it
# carries the project's version and every section a reader looks for.
#   check-man-page.sh <plinth.1> <version>
set -eu
page=$1
version=$2
failed=0
fail() { echo "check-man-page: $*" >&2; failed=1; }

warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
  man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null) || fail "man failed on $page"
[ -z "$warnings" ] || fail "groff warns: $warnings"

whatis=$(lexgrog "$page" 2>&1) || fail "lexgrog cannot parse the NAME section: $whatis"
for name in Plinth plinth; do
  case $whatis in
    *"\"$name - create and initialise the SQLite databases of one plug-in\""*) ;;
    *) fail "the NAME section gives no entry for $name: $whatis" ;;
  esac
done

text=$(LC_ALL=C.UTF-8 groff -man -Tutf8 -P-cbou "$page" 2>/dev/null)
case $text in
  *"Plinth $version"*) ;;
  *) fail "the page does not name version $version" ;;
esac
for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" DIRECTORIES \
  "CONFIGURATION FILES" LOG SAFETY ENVIRONMENT FILES EXAMPLES; do
  printf '%s\n' "$text" | grep -qx "$section" || fail "no section $section"
done

[ "$failed" -eq 0 ] && echo "check-man-page: $page is fine"
exit "$failed"
