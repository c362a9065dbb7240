#!/usr/bin/env bash
# Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
# Writes the seed corpora of the fuzz targets from the sample product's files
# into corpus/<target>/. Inputs that once found a fault (corpus/*/regress-*)
# are kept; everything else is written anew. Run it after a change to sample/
# or to a target's input layout, and commit the result.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
sample=$root/sample
sys=$sample/product/system/META_INFO

fresh() {
  mkdir -p "$here/corpus/$1"
  find "$here/corpus/$1" -type f ! -name 'regress-*' -delete
}

# --- xml_document: the sample's XML files as they are, one in UTF-16 and one
# in UTF-32.
fresh xml_document
for f in "$sys"/*/runtime_script/DBConfig.xml; do
  cp "$f" "$here/corpus/xml_document/DBConfig-$(basename "$(dirname "$(dirname "$f")")").xml"
done
cp "$sample/bin/META_INFO/SQLiteConf/SQLiteConfig.xml" "$here/corpus/xml_document/SQLiteConfig.xml"
cp "$sample/product/Product.xml" "$here/corpus/xml_document/Product.xml"
cp "$root/packaging/META_INFO/InitSetup.xml" "$here/corpus/xml_document/InitSetup.xml"
{ printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE < "$sys/inventory/runtime_script/DBConfig.xml"; } \
  > "$here/corpus/xml_document/DBConfig-inventory-utf16.xml"
{ printf '\x00\x00\xfe\xff'; iconv -f UTF-8 -t UTF-32BE < "$sys/event.s/runtime_script/DBConfig.xml"; } \
  > "$here/corpus/xml_document/DBConfig-event.s-utf32.xml"

# --- db_config: the sample's DBConfig.xml files.
fresh db_config
for f in "$sys"/*/runtime_script/DBConfig.xml; do
  cp "$f" "$here/corpus/db_config/$(basename "$(dirname "$(dirname "$f")")").xml"
done

# --- sqlite_config: the sample's and the installation's SQLiteConfig.xml, one
# whose values hold quotes, a semicolon and a comment mark, and one with a
# name that is refused.
fresh sqlite_config
cp "$sample/bin/META_INFO/SQLiteConf/SQLiteConfig.xml" "$here/corpus/sqlite_config/sample.xml"
cp "$root/packaging/META_INFO/SQLiteConf/SQLiteConfig.xml" "$here/corpus/sqlite_config/installed.xml"
cat > "$here/corpus/sqlite_config/quotes.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<Configs>
  <Config PRAGMA="key" VALUE="it's &quot;quoted&quot;; --"/>
  <Config PRAGMA="user_version" VALUE="a'b"/>
  <Config PRAGMA="" VALUE="WAL&quot;; DROP TABLE x; --"/>
  <Config PRAGMA="cache_size" VALUE="-4000&quot; = &quot;"/>
</Configs>
XML
cat > "$here/corpus/sqlite_config/refused-name.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<Configs>
  <Config PRAGMA="journal_mode" VALUE="WAL"/>
  <Config PRAGMA="journal_mode&quot;; DROP TABLE x; --" VALUE="WAL"/>
  <Config PRAGMA="Key" VALUE="a'b"/>
</Configs>
XML

# --- file_reader: a byte for the file's kind (0 none, 1 file, 2 directory,
# 3 FIFO; +4: a relative path), one for the backup's kind (+4: the backup path
# is given), the name's length, the split of the rest (0..255), the name, and
# the rest: the file's content, then the backup's.
reader() {  # out file_byte backup_byte split name content_file...
  local out=$1 file=$2 backup=$3 split=$4 name=$5; shift 5
  {
    printf "\\x$(printf %02x "$file")\\x$(printf %02x "$backup")"
    printf "\\x$(printf %02x "${#name}")\\x$(printf %02x "$split")"
    printf '%s' "$name"
    cat "$@"
  } > "$here/corpus/file_reader/$out"
}
fresh file_reader
reader dbconfig-and-backup 1 1 128 'META_INFO/SYS/runtime_script/DBConfig.xml' \
  "$sys/SYS/runtime_script/DBConfig.xml" "$sys/event.s/runtime_script/DBConfig.xml"
reader missing-file-backup-read 0 1 0 'META_INFO/SQLiteConf/SQLiteConfig.xml' \
  "$sample/bin/META_INFO/SQLiteConf/SQLiteConfig.xml"
reader empty-file-backup-read 1 1 0 'db_init/SQLite/create_tables.sql' \
  "$sys/inventory/runtime_script/db_init/SQLite/create_tables.sql"
reader bare-name 4 1 0 'Product.xml' "$sample/product/Product.xml"
reader backslashes 0 1 0 'META_INFO\SYS\runtime_script\DBConfig.xml' \
  "$sys/SYS/runtime_script/DBConfig.xml"
reader no-extension 1 0 255 'dir/README' "$sample/README.md"
reader leading-dot 0 1 0 'dir/.cfg' "$sample/product/Product.xml"
reader directory-and-fifo 2 3 128 'META_INFO/SYS/runtime_script/DBConfig.xml' \
  "$sys/SYS/runtime_script/DBConfig.xml"
reader given-backup 0 5 0 'META_INFO/ProductVersionToDB.sql' "$sys/ProductVersionToDB.sql"
reader only-line-feeds 1 0 255 'a.b.c/init_data.sql' <(printf '\n\n\n')
