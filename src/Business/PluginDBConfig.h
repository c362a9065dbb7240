// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// One plug-in's database configuration, and its reading from the plug-in's
// DBConfig.xml. The readers are plain functions over a parsed document: they
// read only what they are given, and log nothing.
//
// The file's values lie below /DBConfig/<product type>/SQLite/: Schema,
// SQLiteFileName, LoadPublicFuncDLL, SQLiteFuncDLL/Name and the
// DBInitForOtherPlugins/Plugin elements (Identify, SQLScript/Path).
#ifndef PLINTH_BUSINESS_PLUGINDBCONFIG_H_
#define PLINTH_BUSINESS_PLUGINDBCONFIG_H_

#include <map>
#include <string>
#include <vector>

#include "XmlProto.h"

namespace plinth {

struct PluginDBConfig {
  std::string plugin_name;
  std::string schema;            // schema name of the attached own database
  std::string sqlite_file_name;  // database file name in the data directory
  bool load_public_func_dll = false;
  std::string sqlite_func_dll_name;  // own extension library; empty for none
  // Special plug-in name -> the scripts this plug-in runs on that plug-in's
  // database (complete paths in the local code page, in document order).
  std::map<std::string, std::vector<std::string>> other_plugin_scripts;
};

// Fills the fields that every plug-in's DBConfig.xml gives, from the element
// of `product_type` in `xml`: `schema` and `sqlite_file_name`, both required,
// then `load_public_func_dll` (true unless the value is 0) and
// `sqlite_func_dll_name`. `record.plugin_name` must be set: the file name is
// checked for that plug-in (DatabaseFileNameProblem, with `data_dir`: files
// that exist in the data directory are also compared as files).
//
// Returns true when both required values are there and the file name is
// fine, with `*refusal` emptied. Returns false when a required value is
// missing or empty (so also for a product type that does not name exactly one
// element, and for an empty document), with `*refusal` empty, or when the file
// name is refused, with `*refusal` saying why. On false `schema` and
// `sqlite_file_name` may be set; the other fields are left as they were.
bool ReadDatabaseFields(proto::CXmlProto& xml, const std::string& product_type,
                        PluginDBConfig& record, std::string* refusal,
                        const std::string& data_dir = std::string());

// The SQLiteFileName of the element of `product_type` in `xml`, as
// ReadDatabaseFields reads it; "" when it is missing or empty.
std::string ReadDatabaseFileName(proto::CXmlProto& xml, const std::string& product_type);

// Adds to `record.other_plugin_scripts` the DBInitForOtherPlugins elements of
// the element of `product_type` in `xml`: each Plugin's Identify ("" when
// missing) with its Path texts, in document order, each made a complete path
// as `sys_path` (UTF-8), the separator and the text, converted to the local
// code page. A key already present keeps its first list.
void ReadOtherPluginScripts(proto::CXmlProto& xml, const std::string& product_type,
                            const std::string& sys_path, PluginDBConfig& record);

}  // namespace plinth

#endif  // PLINTH_BUSINESS_PLUGINDBCONFIG_H_
