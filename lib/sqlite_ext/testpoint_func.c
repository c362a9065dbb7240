// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
/* testpoint.func.sqlite: for the tests only, never installed. A script marks
 * the points where a test may stop or hold the run:
 *
 *   test_point(tag)  nothing, unless the environment variable
 *                    PLINTH_TEST_POINT reads "<tag>:<milliseconds>:<file>":
 *                    then it creates <file> (so the test knows the run got
 *                    here) and holds the run that long before it goes on.
 *                    It returns NULL.
 *
 *   test_clock()     the seconds of a steady clock, read anew at each call
 *                    (SQLite's own time stands still within a statement):
 *                    for a statement that keeps SQLite busy for a given
 *                    time. */
#include <sqlcipher/sqlite3ext.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "sqlite_ext.h"

#if defined(_WIN32)
#include <windows.h>
static void Hold(long ms) { Sleep((DWORD)ms); }
static double ClockSeconds(void) { return (double)GetTickCount64() / 1000.0; }
#else
#include <time.h>
static void Hold(long ms) {
  struct timespec hold = {ms / 1000, (ms % 1000) * 1000000L};
  while (nanosleep(&hold, &hold) != 0) {
  }
}
static double ClockSeconds(void) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (double)now.tv_sec + (double)now.tv_nsec / 1e9;
}
#endif

SQLITE_EXTENSION_INIT1

static void TestPoint(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  (void)argc;
  sqlite3_result_null(ctx);
  const char* tag = (const char*)sqlite3_value_text(argv[0]);
  const char* point = getenv("PLINTH_TEST_POINT");
  if (tag == NULL || point == NULL) return;
  const size_t tag_size = strlen(tag);
  if (strncmp(point, tag, tag_size) != 0 || point[tag_size] != ':') return;
  char* file = NULL;
  const long ms = strtol(point + tag_size + 1, &file, 10);
  if (*file != ':') return;
  FILE* marker = fopen(file + 1, "w");
  if (marker != NULL) fclose(marker);
  Hold(ms);
}

static void TestClock(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  (void)argc;
  (void)argv;
  sqlite3_result_double(ctx, ClockSeconds());
}

SQLITE_EXT_ENTRY int sqlite3_testpoint_init(sqlite3* db, char** pzErrMsg,
                                            const sqlite3_api_routines* pApi) {
  (void)pzErrMsg;
  SQLITE_EXTENSION_INIT2(pApi);
  const int rc =
      sqlite3_create_function(db, "test_point", 1, SQLITE_UTF8, NULL, TestPoint, NULL, NULL);
  if (rc != SQLITE_OK) return rc;
  return sqlite3_create_function(db, "test_clock", 0, SQLITE_UTF8, NULL, TestClock, NULL, NULL);
}
