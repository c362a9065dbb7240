#!/usr/bin/env bash
# Installs what is missing, builds Plinth twice (a plain build, and one with
# AddressSanitizer and UndefinedBehaviorSanitizer) and runs every test in both.
# With PLINTH_WERROR=ON (as .ci/run sets it) compiler warnings are errors.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh

werror=${PLINTH_WERROR:-OFF}
jobs=${PLINTH_JOBS:-2}

run_suite() {
  local dir=$1; shift
  cmake -S . -B "$dir" -DPLINTH_WERROR="$werror" "$@"
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" -j "$jobs" --output-on-failure --no-tests=error
}

echo "== plain build"
run_suite build
echo "== sanitizer build"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
  run_suite build-sanitize -DPLINTH_SANITIZE=ON
echo "test.sh: all tests passed"
