#!/usr/bin/env bash
# Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
# Measures Plinth against the sqlcipher shell doing the same statements, and
# writes the results (results.md, rows.dat, rows.png) into bench/results/.
#
#   bench/run.sh              the default sizes: about a minute on 2 cores
#   bench/run.sh --smoke      tiny sizes, a few seconds, results in
#                             build-bench/smoke/ (for CI: it checks that the
#                             benchmark still runs, not how fast)
#   bench/run.sh --profile    also a perf profile of one plug-in's run and the
#                             count of key derivations (needs perf)
#   bench/run.sh --xml        also configuration files of growing size
#   bench/run.sh --help       every size and count that can be grown
#
# Installs what is missing with apt-get (scripts/install-deps.sh), builds
# Plinth (RelWithDebInfo) in build-bench/ and stages the products there.
#   PLINTH_JOBS   parallel build jobs (default: 2)
#   PLINTH_WERROR ON: compiler warnings are errors (scripts/test.sh sets it)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"

build="build-bench"
out=bench/results
smoke=0
profile=0
args=()
for arg in "$@"; do
  case $arg in
    --smoke) smoke=1 ;;
    --profile) profile=1; args+=("$arg") ;;
    --help | -h) exec python3 bench/plinth_bench.py --help ;;
    *) args+=("$arg") ;;
  esac
done

# The sqlcipher shell is one of install-deps.sh's own packages, at the same
# SQLCipher version as the library (on Debian 12 from bookworm-backports).
packages=(time gnuplot-nox python3)
if [ "$profile" -eq 1 ]; then packages+=(linux-perf); fi
./scripts/install-deps.sh "${packages[@]}"

echo "== building Plinth in $build"
mkdir -p "$build"
log=$build/bench-build.log
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
  -DPLINTH_WERROR="${PLINTH_WERROR:-OFF}" >"$log" 2>&1 ||
  { tail -n 30 "$log"; exit 1; }
cmake --build "$build" -j "${PLINTH_JOBS:-2}" \
  --target Plinth plinth_public_func plinth_inventory_func >>"$log" 2>&1 ||
  { tail -n 30 "$log"; exit 1; }
rm -rf "$build/install"
for component in runtime sample; do
  cmake --install "$build" --prefix "$build/install" --component "$component" >>"$log"
done

sizes=()
if [ "$smoke" -eq 1 ]; then
  out=$build/smoke
  sizes=(--plugins 1 --rows 50 --runs 1 --derive-runs 1 --warmup 0 --startup-runs 1
         --sweep 200 --sweep-runs 1
         --big-mb 1 --xml --xml-configs "50,100" --xml-plugins 20 --xml-mb 0.2 --xml-runs 1)
fi

command="bench/run.sh${*:+ $*}"
python3 bench/plinth_bench.py --install "$build/install" --work "$build/work" --out "$out" \
  --command "$command" "${sizes[@]}" "${args[@]}"
