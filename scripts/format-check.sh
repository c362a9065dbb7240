#!/usr/bin/env bash
# Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
# Checks that every C and C++ file of the repository is formatted as
# .clang-format says (clang-format --dry-run -Werror, with the clang-format of
# this Debian release: 14 on Debian 12, 19 on Debian 13; the code is kept in
# the form both write). Ends non-zero, naming each place, when one is not;
# fix with: clang-format-<version> -i <file>...
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/llvm-version.sh
./scripts/install-deps.sh "clang-format-$llvm_version"
files=()
while IFS= read -r -d '' file; do files+=("$file"); done \
  < <(git ls-files -z -- '*.c' '*.h' '*.cpp' '*.hpp')
"clang-format-$llvm_version" --dry-run -Werror "${files[@]}"
echo "format-check.sh: ${#files[@]} files formatted"
