// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
/* Shared by the product's SQLite extension libraries: the export mark for the
 * entry point. SQLite loads each library with its default entry point, named
 * after the file: "inventory.func.sqlite.so" -> sqlite3_inventory_init. Every
 * other symbol stays local to its library (the build hides them by default),
 * so libraries loaded into one process never bind to each other's symbols. */
#ifndef PLINTH_SQLITE_EXT_H_
#define PLINTH_SQLITE_EXT_H_

#if defined(_WIN32)
#define SQLITE_EXT_ENTRY __declspec(dllexport)
#else
#define SQLITE_EXT_ENTRY __attribute__((visibility("default")))
#endif

#endif
