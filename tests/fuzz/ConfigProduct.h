// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// A small product laid out in the fuzz targets' private directory, for the
// targets that run the tool's configuration readers: the tool settings are
// read from it once, and a target writes the one file it fuzzes before each
// read. Product type "SampleProduct"; the plug-in "inv" (schema inv, inv.db)
// and the special plug-in "event.s" (schema event, event.db).
#ifndef PLINTH_TESTS_FUZZ_CONFIGPRODUCT_H_
#define PLINTH_TESTS_FUZZ_CONFIGPRODUCT_H_

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Business/InitDBManager.h"
#include "support/FreshManager.h"

namespace plinth_fuzz {

// A key that occurs nowhere else, with quotes, a semicolon and a comment mark
// in it, for the targets that do not fuzz the key.
inline constexpr char kFixedKey[] = "Fz-k'e\"y;--9q";

struct ConfigProduct {
  std::string exe_dir;        // ends with "/"
  std::string data_dir;       // no trailing separator
  std::string sys_path;       // no trailing separator
  std::string sqlite_config;  // SQLiteConfig.xml
  std::string inv_config;     // DBConfig.xml of "inv"
};

// Lays the product out (once) with the key kFixedKey, and reads the tool
// settings from it. Call from LLVMFuzzerInitialize, after CaptureLog.
const ConfigProduct& SetUpConfigProduct();

void WriteWholeFile(const std::string& path, const std::string& content);

// The ATTACH statement the tool builds for `path` as `schema` (SQL as
// written), with `key` when there is one.
std::optional<std::string> BuildAttach(const std::string& path, const std::string& schema,
                                       const std::optional<std::string>& key);

// Fails unless `sql` is one statement to SQLite that attaches `path` as
// `schema` (unquoted) with `key`.
void CheckAttach(const std::optional<std::string>& sql, const std::string& path,
                 const std::string& schema, const std::optional<std::string>& key);

}  // namespace plinth_fuzz

#endif  // PLINTH_TESTS_FUZZ_CONFIGPRODUCT_H_
