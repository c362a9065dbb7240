#!/usr/bin/env bash
# Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
# Builds the fuzz targets of tests/fuzz with clang, libFuzzer, AddressSanitizer
# and UndefinedBehaviorSanitizer (in build-fuzz/), then runs each for a bounded
# time, starting from its seed corpus. Ends non-zero at the first target with a
# finding: a failed check, a crash, a leak, a hang of more than 10 s on one
# input. libFuzzer saves the input in build-fuzz/findings/<target>/.
#
#   scripts/fuzz.sh                      every target, PLINTH_FUZZ_SECONDS each (30)
#   scripts/fuzz.sh xml_document         one target
#   PLINTH_FUZZ_SECONDS=3600 scripts/fuzz.sh file_reader   one target, an hour
#
# The inputs a run finds new coverage with are kept in build-fuzz/corpus/ for
# the next run. PLINTH_WERROR=ON makes compiler warnings errors.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${PLINTH_FUZZ_SECONDS:-30}
jobs=${PLINTH_JOBS:-2}
build=build-fuzz

source scripts/llvm-version.sh
./scripts/install-deps.sh "clang-$llvm_version" "libclang-rt-$llvm_version-dev"

mkdir -p "$build"
cmake -S . -B "$build" -DCMAKE_C_COMPILER="clang-$llvm_version" -DCMAKE_CXX_COMPILER="clang++-$llvm_version" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLINTH_FUZZ=ON -DBUILD_TESTING=OFF \
  -DPLINTH_WERROR="${PLINTH_WERROR:-OFF}" > "$build/configure.log" || {
  cat "$build/configure.log"; exit 1; }

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for source in tests/fuzz/corpus/*/; do targets+=("$(basename "$source")"); done
fi
cmake --build "$build" -j "$jobs" --target "${targets[@]/#/fuzz_}"

# The file reader's target makes and removes a small tree for every input: on
# a memory file system it runs several times faster.
tmp=$PWD/$build/tmp
if [ -d /dev/shm ] && [ -w /dev/shm ]; then tmp=/dev/shm; fi
mkdir -p "$tmp"
for target in "${targets[@]}"; do
  corpus=$build/corpus/$target findings=$build/findings/$target log=$build/fuzz-$target.log
  mkdir -p "$corpus" "$findings"
  options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
           -artifact_prefix="$findings/")
  options+=(-dict=tests/fuzz/xml.dict)
  echo "== fuzz $target (${seconds}s)"
  # New inputs go into the first directory; the committed seeds stay as they are.
  if ! TMPDIR=$tmp "$build/tests/fuzz/fuzz_$target" "${options[@]}" \
      "$corpus" "tests/fuzz/corpus/$target" > "$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzz.sh: $target found a fault; the input is in $findings/ (full output: $log)."
    echo "Make it a test: copy it to tests/fuzz/corpus/$target/regress-<what>, then fix the fault."
    exit 1
  fi
  grep -E '^(#[0-9]+.*DONE|stat::number_of_executed_units|stat::peak_rss_mb)' "$log" || true
done
echo "fuzz.sh: no findings"
