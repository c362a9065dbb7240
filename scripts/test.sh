#!/usr/bin/env bash
# Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
# The test command, and what CI runs (.ci/run). Installs what is missing, then
# runs each step in turn, says how long it took, and ends non-zero at the
# first step that fails:
#
#   tests       plain build, every test (build/)
#   sanitize    AddressSanitizer and UndefinedBehaviorSanitizer build, every
#               test, leaks included (build-sanitize/)
#   windows     scripts/check-windows.sh
#   format      scripts/format-check.sh
#   cppcheck    scripts/cppcheck.sh
#   tidy        scripts/tidy.sh
#   fuzz        scripts/fuzz.sh, PLINTH_FUZZ_SECONDS (30) a target
#   coverage    scripts/coverage.sh (a report; fails only when a test fails)
#   bench       bench/run.sh --smoke (the benchmark still runs; no figures)
#
#   scripts/test.sh            every step
#   scripts/test.sh --quick    only the two builds and their tests
#   scripts/test.sh --help     this text
#
# Compiler warnings are errors in every build it makes (PLINTH_WERROR=ON).
#   PLINTH_JOBS   parallel build and test jobs (default: 2)
set -euo pipefail
cd "$(dirname "$0")/.."

quick=0
for arg in "$@"; do
  case $arg in
    --quick) quick=1 ;;
    --help | -h) sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0"; exit 0 ;;
    *) echo "test.sh: unknown argument '$arg' (see --help)" >&2; exit 2 ;;
  esac
done

export PLINTH_WERROR=ON
jobs=${PLINTH_JOBS:-2}

# Chained with &&: a step runs where `set -e` does not stop a function.
run_suite() {
  local dir=$1; shift
  cmake -S . -B "$dir" -DPLINTH_WERROR=ON "$@" &&
    cmake --build "$dir" -j "$jobs" &&
    ctest --test-dir "$dir" -j "$jobs" --output-on-failure --no-tests=error
}
plain_suite() { run_suite build; }
sanitizer_suite() {
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
    run_suite build-sanitize -DPLINTH_SANITIZE=ON
}

times=()
summary() { printf 'test.sh: %s\n' "${times[@]}"; }
step() {
  local name=$1 start=$SECONDS
  shift
  echo "=== $name: $*"
  if ! "$@"; then
    times+=("$name FAILED after $((SECONDS - start)) s")
    summary
    exit 1
  fi
  times+=("$name $((SECONDS - start)) s")
  echo "=== $name: passed in $((SECONDS - start)) s"
}

./scripts/install-deps.sh
step tests plain_suite
step sanitize sanitizer_suite
if [ "$quick" -eq 0 ]; then
  step windows ./scripts/check-windows.sh
  step format ./scripts/format-check.sh
  step cppcheck ./scripts/cppcheck.sh
  step tidy ./scripts/tidy.sh
  step fuzz ./scripts/fuzz.sh
  step coverage ./scripts/coverage.sh
  step bench bench/run.sh --smoke
fi
times+=("total $SECONDS s")
summary
echo "test.sh: every step passed"
