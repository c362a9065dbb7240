#!/usr/bin/env bash
# Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
# Builds Plinth, stages the sample product of sample/ in a fresh directory and
# creates its databases the way the product's installer does: `Plinth platform`
# first, then every ordinary plug-in. Then shows what was built, and exits
# non-zero when a run failed or a database is not as expected.
#
#   PLINTH_BUILD_DIR   build directory (default: build)
#   PLINTH_SAMPLE_DIR  staging directory, wiped first (default: sample-run)
#   PLINTH_JOBS        parallel build jobs (default: 2)
#
# The staged tree:
#   bin/                  the executable's directory (cmake --install of the
#                         components runtime and sample)
#   bin/META_INFO/InitSetup.xml   names data/ and product/system/
#   bin/log/plinth.log    the log
#   product/Product.xml   the product description
#   product/system/       the system directory, with the extension libraries
#   data/                 the databases (created by Plinth)
#   tmp/                  TMPDIR of the runs, so no other Plinth shares the lock
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"

build=${PLINTH_BUILD_DIR:-build}
stage=$(realpath -m "${PLINTH_SAMPLE_DIR:-sample-run}")
jobs=${PLINTH_JOBS:-2}
marker=.plinth-sample

die() { echo "run-sample: $*" >&2; exit 1; }
step() { printf '\n==> %s\n' "$*"; }
indent() { sed 's/^/    /'; }
xml_escape() { sed -e 's/&/\&amp;/g' -e 's/</\&lt;/g' -e 's/>/\&gt;/g' <<<"$1"; }

if [ -e "$stage" ] && [ ! -e "$stage/$marker" ] && [ -n "$(ls -A "$stage")" ]; then
  die "$stage is not empty and was not staged by this script; not wiping it"
fi

step "Installing dependencies"
./scripts/install-deps.sh | indent

rm -rf "$stage"
mkdir -p "$stage/tmp"
touch "$stage/$marker"

step "Building in $build"
targets=(Plinth plinth_public_func plinth_inventory_func)
if ! { cmake -S . -B "$build" && cmake --build "$build" -j "$jobs" --target "${targets[@]}"; } \
    >"$stage/build.log" 2>&1; then
  tail -n 30 "$stage/build.log" | indent
  die "the build failed; see $stage/build.log"
fi
echo "    done (output in $stage/build.log)"

step "Staging the sample product in $stage"
bin=$stage/bin
system=$stage/product/system
data=$stage/data
for component in runtime sample; do
  cmake --install "$build" --prefix "$bin" --component "$component" >>"$stage/build.log"
done
cp -R sample/product "$stage/product"
mv "$bin"/sqlite_ext/* "$system/"
rmdir "$bin/sqlite_ext"
cat >"$bin/META_INFO/InitSetup.xml" <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<Configs>
  <SQLiteDataPath>$(xml_escape "$data")</SQLiteDataPath>
  <SYSPath>$(xml_escape "$system")</SYSPath>
</Configs>
EOF
echo "    executable directory  $bin"
echo "    system directory      $system"
echo "    data directory        $data"

step "Creating the databases"
failed=0
run_plinth() {
  local rc
  echo "    Plinth $1"
  set +e
  TMPDIR=$stage/tmp "$bin/Plinth" "$1" 2>&1 | sed 's/^/      | /'
  rc=${PIPESTATUS[0]}
  set -e
  echo "      exit code $rc"
  [ "$rc" -eq 0 ] || failed=1
}
run_plinth platform
# The ordinary plug-ins; SYS is the platform's directory, event.s is built
# together with the platform.
for dir in "$system"/META_INFO/*/; do
  name=$(basename "$dir")
  case $name in SYS | event.s) continue ;; esac
  [ -f "$dir/runtime_script/DBConfig.xml" ] && run_plinth "$name"
done

step "What was built"
config=$bin/META_INFO/SQLiteConf/SQLiteConfig.xml
key=$(sed -n 's/.*PRAGMA="key"[[:space:]]*VALUE="\([^"]*\)".*/\1/p' "$config" | head -n 1)
# Runs the SQL on the database with the key applied. SQLCipher 4 answers the
# key pragma with a row "ok"; it goes to /dev/null, the SQL's rows to stdout.
keyed_sql() {  # database, SQL
  printf ".output /dev/null\nPRAGMA key = '%s';\n.output\n%s\n" "${key//\'/\'\'}" "$2" |
    sqlcipher -batch -bail -init /dev/null -separator $'\t' "$1"
}
echo "    key (from $config): ${key:-none}"
shopt -s nullglob
dbs=("$data"/*.db)
[ ${#dbs[@]} -gt 0 ] || { echo "    no database files in $data"; failed=1; }
for db in "${dbs[@]}"; do
  echo
  echo "    $(basename "$db")  $(stat -c %s "$db") bytes"
  if [ -n "$key" ]; then
    if out=$(sqlcipher -batch "$db" "SELECT count(*) FROM sqlite_master;" 2>&1); then
      echo "      readable WITHOUT the key: not encrypted"
      failed=1
    else
      out=${out#Error: }
      echo "      without the key: ${out#in prepare, }"
    fi
  fi
  if ! tables=$(keyed_sql "$db" "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name;" 2>&1); then
    echo "      with the key: ${tables#Error: }"
    failed=1
    continue
  fi
  [ -n "$tables" ] || { echo "      with the key: no tables"; continue; }
  query=
  while IFS= read -r table; do
    query+="${query:+ UNION ALL }SELECT '${table//\'/\'\'}', count(*) FROM \"${table//\"/\"\"}\""
  done <<<"$tables"
  echo "      with the key, table and rows:"
  keyed_sql "$db" "$query;" | while IFS=$'\t' read -r table rows; do
    printf '        %-18s %s\n' "$table" "$rows"
  done
done

step "Log"
log=$(sed -n 's/^log4j\.appender\.file\.File=//p' "$bin/META_INFO/plinth.log4cxx.properties")
echo "    $log, last lines:"
if [ -f "$log" ]; then tail -n 8 "$log" | indent; else echo "    (no log file)"; failed=1; fi

echo
if [ "$failed" -ne 0 ]; then
  echo "run-sample: FAILED (see above and $log)"
  exit 1
fi
echo "run-sample: all runs succeeded; the product is staged in $stage"
