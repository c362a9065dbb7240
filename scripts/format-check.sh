#!/usr/bin/env bash
# Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
# Checks that every C and C++ file of the repository is formatted as
# .clang-format says (clang-format --dry-run -Werror, Debian 12's
# clang-format 14). Ends non-zero, naming each place, when one is not; fix
# with: clang-format-14 -i <file>...
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh clang-format-14
files=()
while IFS= read -r -d '' file; do files+=("$file"); done \
  < <(git ls-files -z -- '*.c' '*.h' '*.cpp' '*.hpp')
clang-format-14 --dry-run -Werror "${files[@]}"
echo "format-check.sh: ${#files[@]} files formatted"
