#!/usr/bin/env bash
# Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
# Static analysis with cppcheck over every source of the compile database (a
# configured, unbuilt build-cppcheck/): its warning, performance and
# portability checks, with the POSIX and GoogleTest library descriptions.
# Known false positives are suppressed where they occur, each with its reason
# ("// cppcheck-suppress <id> ; <reason>"). Ends non-zero on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh cppcheck
mkdir -p build-cppcheck
cmake -S . -B build-cppcheck > build-cppcheck/configure.log || {
  cat build-cppcheck/configure.log; exit 1; }
cppcheck --project=build-cppcheck/compile_commands.json \
  --enable=warning,performance,portability --library=posix --library=googletest \
  --inline-suppr --suppress=normalCheckLevelMaxBranches --error-exitcode=1 -j "${PLINTH_JOBS:-2}" --quiet \
  --template='{file}:{line}:{column}: {severity}: {message} [{id}]'
echo "cppcheck.sh: no findings"
