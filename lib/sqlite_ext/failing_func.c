// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
/* failing.func.sqlite: for the tests only. Its entry point refuses to load,
 * so that a failed load and the text it reports can be checked. */
#include <sqlcipher/sqlite3ext.h>
#include <stddef.h>

#include "sqlite_ext.h"

SQLITE_EXTENSION_INIT1

SQLITE_EXT_ENTRY int sqlite3_failing_init(sqlite3* db, char** pzErrMsg,
                                          const sqlite3_api_routines* pApi) {
  (void)db;
  SQLITE_EXTENSION_INIT2(pApi);
  *pzErrMsg = sqlite3_mprintf("failing.func.sqlite refuses to load");
  return SQLITE_ERROR;
}
