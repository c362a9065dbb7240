// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// Fuzz target of the reading of a plug-in's DBConfig.xml. The input is the
// file of the plug-in "inv", which the database manager's own reader reads,
// in a small product whose key is kFixedKey. Checked:
// - the log holds neither the key (unless the input holds its text, which the
//   reader may then quote) nor a line broken by a value;
// - a record read has its required values, and its scripts lie below the
//   system directory;
// - the attach statement built from the record (its database file and its
//   schema, with a key full of quotes, and without) is one statement to
//   SQLite, which reads back exactly the path, schema and key that went in.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Business/SqlText.h"
#include "ConfigProduct.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  plinth_fuzz::CaptureLog();
  plinth_fuzz::SetUpConfigProduct();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const plinth_fuzz::ConfigProduct& product = plinth_fuzz::SetUpConfigProduct();
  const std::string input(reinterpret_cast<const char*>(data), size);
  const bool input_holds_key = input.find(plinth_fuzz::kFixedKey) != std::string::npos;
  plinth_fuzz::WriteWholeFile(product.inv_config, input);
  plinth_fuzz::TakeLogLines();
  plinth::CFreshManager manager;
  const bool read = manager.ReadPluginDBConfig("inv");
  for (const std::string& line : plinth_fuzz::TakeLogLines()) {
    FUZZ_CHECK(input_holds_key || line.find(plinth_fuzz::kFixedKey) == std::string::npos,
               "the key in the log");
    FUZZ_CHECK(!plinth_fuzz::HasControlCharacter(line), "a log line is not one line");
  }
  if (!read) return 0;

  const plinth::PluginDBConfig& record = manager.state().plugin_config_;
  FUZZ_CHECK(!record.schema.empty() && !record.sqlite_file_name.empty(),
             "a record read without its required values");
  for (const auto& [identify, scripts] : record.other_plugin_scripts) {
    for (const std::string& script : scripts) {
      FUZZ_CHECK(script.rfind(product.sys_path + "/", 0) == 0, "a script outside the system path");
    }
  }
  const std::string path = product.data_dir + "/" + record.sqlite_file_name;
  const std::string schema = plinth::QuotedName(record.schema);
  for (const std::optional<std::string>& key :
       {std::optional<std::string>(plinth_fuzz::kFixedKey), std::optional<std::string>()}) {
    plinth_fuzz::CheckAttach(plinth_fuzz::BuildAttach(path, schema, key), path, record.schema, key);
  }
  return 0;
}
