// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include "Business/PluginDBConfig.h"

#include <utility>

#include "Business/NameCheck.h"
#include "Config/ProductLayout.h"
#include "QuillBase.h"

namespace plinth {
namespace {

using Quill::Base::StringUtil::str_fmt;

// The product type names one element of DBConfig.xml literally: a type that
// the element path would read as more than one name (a "/" between steps, an
// index in "[...]", or a NUL that would end the path) selects nothing.
bool NamesOneElement(const std::string& product_type) {
  return product_type.find_first_of(std::string("/[]\0", 4)) == std::string::npos;
}

}  // namespace

bool ReadDatabaseFields(proto::CXmlProto& xml, const std::string& product_type,
                        PluginDBConfig& record, std::string* refusal, const std::string& data_dir) {
  refusal->clear();
  if (!NamesOneElement(product_type)) return false;
  const char* p = product_type.c_str();
  record.schema = xml.GetNodeText(str_fmt("/DBConfig/%s/SQLite/Schema", p), "");
  record.sqlite_file_name = ReadDatabaseFileName(xml, product_type);
  if (record.schema.empty() || record.sqlite_file_name.empty()) return false;
  *refusal = DatabaseFileNameProblem(record.sqlite_file_name, record.plugin_name, data_dir);
  if (!refusal->empty()) return false;
  record.load_public_func_dll =
      xml.GetNodeInt(str_fmt("/DBConfig/%s/SQLite/LoadPublicFuncDLL", p), -1) != 0;
  record.sqlite_func_dll_name =
      xml.GetNodeText(str_fmt("/DBConfig/%s/SQLite/SQLiteFuncDLL/Name", p), "");
  return true;
}

std::string ReadDatabaseFileName(proto::CXmlProto& xml, const std::string& product_type) {
  if (!NamesOneElement(product_type)) return std::string();
  return xml.GetNodeText(str_fmt("/DBConfig/%s/SQLite/SQLiteFileName", product_type.c_str()), "");
}

void ReadOtherPluginScripts(proto::CXmlProto& xml, const std::string& product_type,
                            const std::string& sys_path, PluginDBConfig& record) {
  if (!NamesOneElement(product_type)) return;
  const char* p = product_type.c_str();
  const int plugins =
      xml.GetNodeCount(str_fmt("/DBConfig/%s/SQLite/DBInitForOtherPlugins/Plugin", p));
  for (int i = 1; i <= plugins; ++i) {
    const std::string identify = xml.GetNodeText(
        str_fmt("/DBConfig/%s/SQLite/DBInitForOtherPlugins/Plugin[%d]/Identify", p, i), "");
    const int paths = xml.GetNodeCount(
        str_fmt("/DBConfig/%s/SQLite/DBInitForOtherPlugins/Plugin[%d]/SQLScript/Path", p, i));
    std::vector<std::string> scripts;
    for (int j = 1; j <= paths; ++j) {
      const std::string relative = xml.GetNodeText(
          str_fmt("/DBConfig/%s/SQLite/DBInitForOtherPlugins/Plugin[%d]/SQLScript/Path[%d]", p, i,
                  j),
          "");
      scripts.push_back(Quill::Base::StringUtil::UTF82Local(InDir(sys_path, relative)));
    }
    record.other_plugin_scripts.emplace(identify, std::move(scripts));
  }
}

}  // namespace plinth
