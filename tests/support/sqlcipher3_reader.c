/* Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE). */
/* Reads a database file the way a reader still on SQLCipher 3 does: loads
 * SQLCipher 3's library (libsqlcipher.so.0) alone with dlopen, opens the file
 * read-only, applies the key and nothing else, and prints the name and row
 * count of each table ("name|rows", in name order).
 *
 *   sqlcipher3_reader <file> <key>
 *
 * Exit code: 0 when the file was read; 1 when it could not be read (SQLite's
 * error on standard error); 77 when the library cannot be loaded (standard
 * error says why). It links no SQLite of its own: a program linked to
 * SQLCipher 4 would have the old library's calls bound to the new one. */
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

#define READER_LIBRARY "libsqlcipher.so.0"
#define READER_OPEN_READONLY 0x00000001

typedef struct sqlite3 sqlite3;
typedef int (*exec_callback)(void*, int, char**, char**);

static struct {
  int (*open_v2)(const char*, sqlite3**, int, const char*);
  int (*exec)(sqlite3*, const char*, exec_callback, void*, char**);
  const char* (*errmsg)(sqlite3*);
  int (*close)(sqlite3*);
  void (*free)(void*);
  char* (*mprintf)(const char*, ...);
} api;

/* Sets the function pointer at `target` to the library's `name`; 0 when the
 * library lacks it. (A data pointer is copied into a function pointer byte
 * for byte, which POSIX guarantees and ISO C does not express.) */
static int Bind(void* library, const char* name, void* target, size_t size) {
  void* symbol = dlsym(library, name);
  if (symbol == NULL || size != sizeof symbol) return 0;
  memcpy(target, (const void*)&symbol, size);
  return 1;
}

static int LoadLibrary(void) {
  void* library = dlopen(READER_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  if (library == NULL) {
    fprintf(stderr, "cannot load %s: %s\n", READER_LIBRARY, dlerror());
    return 0;
  }
  if (!Bind(library, "sqlite3_open_v2", (void*)&api.open_v2, sizeof api.open_v2) ||
      !Bind(library, "sqlite3_exec", (void*)&api.exec, sizeof api.exec) ||
      !Bind(library, "sqlite3_errmsg", (void*)&api.errmsg, sizeof api.errmsg) ||
      !Bind(library, "sqlite3_close", (void*)&api.close, sizeof api.close) ||
      !Bind(library, "sqlite3_free", (void*)&api.free, sizeof api.free) ||
      !Bind(library, "sqlite3_mprintf", (void*)&api.mprintf, sizeof api.mprintf)) {
    fprintf(stderr, "%s lacks a function of SQLite's\n", READER_LIBRARY);
    return 0;
  }
  return 1;
}

/* Runs `sql` on `db`, printing each row as "a|b"; 0 on failure, with the
 * error on standard error. */
static int Run(sqlite3* db, const char* sql, exec_callback on_row) {
  char* message = NULL;
  if (api.exec(db, sql, on_row, NULL, &message) == 0) return 1;
  fprintf(stderr, "%s\n", message != NULL ? message : api.errmsg(db));
  api.free(message);
  return 0;
}

static int PrintRow(void* unused, int columns, char** values, char** names) {
  (void)unused;
  (void)names;
  for (int i = 0; i < columns; ++i) printf("%s%s", i > 0 ? "|" : "", values[i] ? values[i] : "");
  printf("\n");
  return 0;
}

static sqlite3* reader_db;

/* For each table name, prints its row count. */
static int CountRows(void* unused, int columns, char** values, char** names) {
  (void)unused;
  (void)names;
  if (columns < 1 || values[0] == NULL) return 1;
  char* sql = api.mprintf("SELECT %Q, count(*) FROM \"%w\";", values[0], values[0]);
  const int ok = sql != NULL && Run(reader_db, sql, PrintRow);
  api.free(sql);
  return ok ? 0 : 1;
}

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: %s <file> <key>\n", argv[0]);
    return 2;
  }
  if (!LoadLibrary()) return 77;
  if (api.open_v2(argv[1], &reader_db, READER_OPEN_READONLY, NULL) != 0) {
    fprintf(stderr, "%s\n", api.errmsg(reader_db));
    return 1;
  }
  char* key = api.mprintf("PRAGMA key = %Q;", argv[2]);
  const int ok =
      key != NULL && Run(reader_db, key, NULL) &&
      Run(reader_db, "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name;",
          CountRows);
  api.free(key);
  api.close(reader_db);
  return ok ? 0 : 1;
}
