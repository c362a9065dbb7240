// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// The reading of DBConfig.xml into a PluginDBConfig, over parsed documents.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "Business/PluginDBConfig.h"

namespace plinth {
namespace {

using Scripts = std::map<std::string, std::vector<std::string>>;

// A DBConfig.xml whose product element `product` holds the SQLite element
// with `sqlite` in it, parsed.
class DBConfigDocument {
 public:
  explicit DBConfigDocument(const std::string& sqlite, const std::string& product = "ProductA") {
    EXPECT_TRUE(xml_.Parse("<DBConfig><" + product + "><SQLite>" + sqlite + "</SQLite></" +
                           product + "></DBConfig>"));
  }
  proto::CXmlProto& xml() { return xml_; }

 private:
  proto::CXmlProto xml_;
};

std::string Body(const std::string& extra = "") {
  return "<Schema>inv</Schema><SQLiteFileName>inv.db</SQLiteFileName>" + extra;
}

TEST(PluginDBConfig, DatabaseFields) {
  const struct {
    const char* name;
    std::string extra;  // beside Schema and SQLiteFileName
    bool load_public_func_dll;
    std::string func_dll;
  } cases[] = {
      {"LoadPublicFuncDLL absent", "", true, ""},
      {"LoadPublicFuncDLL 0", "<LoadPublicFuncDLL>0</LoadPublicFuncDLL>", false, ""},
      {"LoadPublicFuncDLL 1", "<LoadPublicFuncDLL>1</LoadPublicFuncDLL>", true, ""},
      {"LoadPublicFuncDLL 2", "<LoadPublicFuncDLL>2</LoadPublicFuncDLL>", true, ""},
      {"LoadPublicFuncDLL -5", "<LoadPublicFuncDLL>-5</LoadPublicFuncDLL>", true, ""},
      {"own extension", "<SQLiteFuncDLL><Name>inv.func.sqlite.so</Name></SQLiteFuncDLL>", true,
       "inv.func.sqlite.so"},
  };
  for (const auto& c : cases) {
    DBConfigDocument doc(Body(c.extra));
    PluginDBConfig record;
    record.plugin_name = "inv";
    std::string refusal = "old";
    ASSERT_TRUE(ReadDatabaseFields(doc.xml(), "ProductA", record, &refusal)) << c.name;
    ReadOtherPluginScripts(doc.xml(), "ProductA", "/sys", record);
    EXPECT_EQ(refusal, "") << c.name;
    EXPECT_EQ(record.schema, "inv") << c.name;
    EXPECT_EQ(record.sqlite_file_name, "inv.db") << c.name;
    EXPECT_EQ(record.load_public_func_dll, c.load_public_func_dll) << c.name;
    EXPECT_EQ(record.sqlite_func_dll_name, c.func_dll) << c.name;
    EXPECT_TRUE(record.other_plugin_scripts.empty()) << c.name;
  }
}

TEST(PluginDBConfig, OtherPluginScripts) {
  DBConfigDocument doc(
      Body("<DBInitForOtherPlugins>"
           "<Plugin><Identify>event.s</Identify><SQLScript><Path>a.sql</Path><Path>dir/b.sql</Path>"
           "<Path>c.sql</Path></SQLScript></Plugin>"
           "<Plugin><Identify>none</Identify></Plugin>"
           "<Plugin><Identify>event.s</Identify><SQLScript><Path>dropped.sql</Path></SQLScript>"
           "</Plugin>"
           "<Plugin><SQLScript><Path>anonymous.sql</Path></SQLScript></Plugin>"
           "</DBInitForOtherPlugins>"));
  PluginDBConfig record;
  ReadOtherPluginScripts(doc.xml(), "ProductA", "/sys", record);
  EXPECT_EQ(record.other_plugin_scripts,
            (Scripts{{"", {"/sys/anonymous.sql"}},
                     {"event.s", {"/sys/a.sql", "/sys/dir/b.sql", "/sys/c.sql"}},
                     {"none", {}}}));
}

TEST(PluginDBConfig, ProductTypeElementOfAnotherProductIsAnError) {
  DBConfigDocument doc(Body(), "ProductB");
  PluginDBConfig record;
  record.plugin_name = "inv";
  std::string refusal;
  EXPECT_FALSE(ReadDatabaseFields(doc.xml(), "ProductA", record, &refusal));
  EXPECT_EQ(refusal, "");
}

}  // namespace
}  // namespace plinth
