// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
/* public.func.sqlite: functions every plug-in's scripts may use.
 *
 *   uuid()     a random (version 4) UUID as lower-case text,
 *              "xxxxxxxx-xxxx-4xxx-[89ab]xxx-xxxxxxxxxxxx"
 *   utc_now()  the current time in UTC as "YYYY-MM-DDTHH:MM:SSZ"
 *
 * Neither is deterministic: SQLite calls them once per row. */
#include <sqlcipher/sqlite3ext.h>
#include <stddef.h>
#include <stdio.h>
#include <time.h>

#include "sqlite_ext.h"

SQLITE_EXTENSION_INIT1

static void Uuid(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  (void)argc;
  (void)argv;
  unsigned char b[16];
  sqlite3_randomness(sizeof b, b);
  b[6] = (unsigned char)((b[6] & 0x0F) | 0x40); /* version 4 */
  b[8] = (unsigned char)((b[8] & 0x3F) | 0x80); /* RFC 4122 variant */
  char text[37];
  snprintf(text, sizeof text,
           "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", b[0], b[1], b[2],
           b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
  sqlite3_result_text(ctx, text, 36, SQLITE_TRANSIENT);
}

static void UtcNow(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  (void)argc;
  (void)argv;
  const time_t now = time(NULL);
  struct tm tm;
#if defined(_WIN32)
  const int ok = gmtime_s(&tm, &now) == 0;
#else
  const int ok = gmtime_r(&now, &tm) != NULL;
#endif
  char text[32];
  if (!ok || strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm) == 0) {
    sqlite3_result_error(ctx, "utc_now: the clock cannot be read", -1);
    return;
  }
  sqlite3_result_text(ctx, text, -1, SQLITE_TRANSIENT);
}

SQLITE_EXT_ENTRY int sqlite3_public_init(sqlite3* db, char** pzErrMsg,
                                         const sqlite3_api_routines* pApi) {
  (void)pzErrMsg;
  SQLITE_EXTENSION_INIT2(pApi);
  int rc = sqlite3_create_function(db, "uuid", 0, SQLITE_UTF8, NULL, Uuid, NULL, NULL);
  if (rc == SQLITE_OK) {
    rc = sqlite3_create_function(db, "utc_now", 0, SQLITE_UTF8, NULL, UtcNow, NULL, NULL);
  }
  return rc;
}
