/* Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE). */
/* A SQLCipher that applies no key, for the tests: preloaded (LD_PRELOAD) into
 * Plinth, its sqlite3_exec passes every statement to the real one but skips
 * "PRAGMA key = ..." and attaches with an empty key ("... KEY '';"). The
 * library still answers PRAGMA cipher_version, so nothing tells the run that
 * its files stay in clear but a look at the files themselves. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdlib.h>
#include <string.h>

#define KEYLESS_OK 0
#define KEYLESS_NOMEM 7

typedef struct sqlite3 sqlite3;
typedef int (*exec_callback)(void*, int, char**, char**);
typedef int (*exec_function)(sqlite3*, const char*, exec_callback, void*, char**);

static const char kAttachKey[] = " KEY '";

int sqlite3_exec(sqlite3* db, const char* sql, exec_callback callback, void* arg, char** errmsg) {
  static exec_function real;
  if (real == NULL) {
    /* A function's address as the object pointer dlsym gives, copied byte for
     * byte (POSIX guarantees the two have one representation). */
    void* symbol = dlsym(RTLD_NEXT, "sqlite3_exec");
    if (symbol == NULL || sizeof symbol != sizeof real) abort();
    memcpy((void*)&real, (const void*)&symbol, sizeof real);
  }
  if (strncmp(sql, "PRAGMA key = ", 13) == 0) return KEYLESS_OK;
  const char* key = strncmp(sql, "ATTACH ", 7) == 0 ? strstr(sql, kAttachKey) : NULL;
  if (key == NULL) return real(db, sql, callback, arg, errmsg);
  const size_t head = (size_t)(key - sql) + strlen(kAttachKey);
  char* keyless = malloc(head + 3);
  if (keyless == NULL) return KEYLESS_NOMEM;
  memcpy(keyless, sql, head);
  keyless[head] = '\'';
  keyless[head + 1] = ';';
  keyless[head + 2] = '\0';
  const int rc = real(db, keyless, callback, arg, errmsg);
  free(keyless);
  return rc;
}
