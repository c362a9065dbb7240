// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
/* inventory.func.sqlite: functions of the inventory plug-in's scripts.
 *
 *   sku_checksum(sku)  the check digit (0-9) of an article number: the byte
 *                      values weighted 3, 1, 3, ... from the left, summed,
 *                      and the digit that brings the sum to a multiple of
 *                      ten. NULL for NULL.
 *
 * Deterministic, so it may appear in CHECK constraints and indexes. */
#include <sqlcipher/sqlite3ext.h>
#include <stddef.h>

#include "sqlite_ext.h"

SQLITE_EXTENSION_INIT1

static void SkuChecksum(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  (void)argc;
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  const unsigned char* sku = sqlite3_value_text(argv[0]);
  unsigned sum = 0;
  for (unsigned i = 0; sku != NULL && sku[i] != 0; ++i) {
    sum += (i % 2 == 0 ? 3u : 1u) * sku[i];
  }
  sqlite3_result_int(ctx, (int)((10 - sum % 10) % 10));
}

SQLITE_EXT_ENTRY int sqlite3_inventory_init(sqlite3* db, char** pzErrMsg,
                                            const sqlite3_api_routines* pApi) {
  (void)pzErrMsg;
  SQLITE_EXTENSION_INIT2(pApi);
  return sqlite3_create_function(db, "sku_checksum", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, NULL,
                                 SkuChecksum, NULL, NULL);
}
