#!/usr/bin/env bash
# Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
# Static analysis with clang-tidy: builds everything with clang in build-tidy/
# (-DPLINTH_CLANG_TIDY=ON), clang-tidy running the project's .clang-tidy on
# every C and C++ source as it is compiled. Every finding is an error, and so
# is every warning of clang. Ends non-zero on any.
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/llvm-version.sh
./scripts/install-deps.sh "clang-$llvm_version" "clang-tidy-$llvm_version"
mkdir -p build-tidy
cmake -S . -B build-tidy -DCMAKE_C_COMPILER="clang-$llvm_version" -DCMAKE_CXX_COMPILER="clang++-$llvm_version" \
  -DPLINTH_CLANG_TIDY=ON -DPLINTH_WERROR=ON > build-tidy/configure.log || {
  cat build-tidy/configure.log; exit 1; }
cmake --build build-tidy -j "${PLINTH_JOBS:-2}"
echo "tidy.sh: no findings"
