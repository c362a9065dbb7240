#!/usr/bin/env bash
# Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
# Line and branch coverage of src/ and lib/ by the whole test suite: builds
# with gcov's counters in build-coverage/ (-DPLINTH_COVERAGE=ON), runs every
# test, and prints gcovr's summary and the figures per file (the test-only
# extension libraries left out). Branches
# that only an exception thrown by the C++ library takes are not counted.
# An HTML report lands in build-coverage/coverage/index.html.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh gcovr
jobs=${PLINTH_JOBS:-2}
build=build-coverage
mkdir -p "$build"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DPLINTH_COVERAGE=ON \
  -DPLINTH_WERROR="${PLINTH_WERROR:-OFF}" > "$build/configure.log" || {
  cat "$build/configure.log"; exit 1; }
cmake --build "$build" -j "$jobs"
find "$build" -name '*.gcda' -delete
ctest --test-dir "$build" -j "$jobs" --output-on-failure --no-tests=error

# gcov runs once; the reports are made from what gcovr collected. The
# counters are looked for in the build directory alone: the root holds other
# build directories, and check-windows.sh's wine prefix links to / (z:).
mkdir -p "$build/coverage"
gcovr --root . --object-directory "$build" --filter 'src/' --filter 'lib/' \
  --exclude 'lib/sqlite_ext/(failing_func\.c|testpoint_func\.c)' \
  --exclude-throw-branches --exclude-unreachable-branches --gcov-ignore-parse-errors \
  -j "$jobs" --json "$build/coverage/coverage.json" "$build"
report=(gcovr --root . --add-tracefile "$build/coverage/coverage.json")
echo "== line coverage"
"${report[@]}" --txt
echo "== branch coverage"
"${report[@]}" --txt --branches --html-details "$build/coverage/index.html" --print-summary
