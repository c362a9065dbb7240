// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// The database manager's configuration readers and its release, in process,
// on a product tree in a temporary directory.
#include <gtest/gtest.h>

#include <algorithm>

#include "Business/InitDBManager.h"
#include "Config/ToolSetup.h"
#include "support/FreshManager.h"
#include "support/ProductFiles.h"
#include "unit/LogCapture.h"

namespace plinth {

namespace {

using ProductTree = plinth_test::ProductFiles;
using plinth_test::LogCapture;
using plinth_test::LogLine;

// A product tree whose settings the process has loaded.
class ManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Quill::Base::FileUtil::InitCurExeDirUtf8(tree_.bin_dir() + "/");
    ASSERT_TRUE(CToolSetup::GetInstance()->InitSetup());
  }

  ProductTree tree_;
  CFreshManager manager_;
};

TEST_F(ManagerTest, PlatformReadsTheSysDirectory) {
  ASSERT_TRUE(manager_.ReadPluginDBConfig("platform"));
  EXPECT_EQ(manager_.state().plugin_config_.plugin_name, "platform");
  EXPECT_EQ(manager_.state().plugin_config_.sqlite_file_name, "platform.db");
}

// Refused DBConfig.xml content: the lines logged, in order, after the read.
TEST_F(ManagerTest, DBConfigErrors) {
  const struct {
    const char* plugin;
    std::string sqlite;
    std::vector<LogLine> lines;
  } cases[] = {
      {"inv",
       "<Schema>inv</Schema>",
       {{"FATAL", "[F]inv DBConfig.xml error[InitDBManager.cpp(*)]"}}},
      {"inv",
       "<SQLiteFileName>inv.db</SQLiteFileName>",
       {{"FATAL", "[F]inv DBConfig.xml error[InitDBManager.cpp(*)]"}}},
      {"inv",
       ProductTree::DBConfigBody("inv", "../inv.db"),
       {{"FATAL",
         "[F]inv SQLiteFileName \"../inv.db\" refused: it contains a path separator."
         "[InitDBManager.cpp(*)]"},
        {"FATAL", "[F]inv DBConfig.xml error[InitDBManager.cpp(*)]"}}},
      {"inv",
       ProductTree::DBConfigBody("inv", "sub\\inv.db"),
       {{"FATAL",
         "[F]inv SQLiteFileName \"sub\\inv.db\" refused: it contains a path separator."
         "[InitDBManager.cpp(*)]"},
        {"FATAL", "[F]inv DBConfig.xml error[InitDBManager.cpp(*)]"}}},
      {"inv",
       ProductTree::DBConfigBody("inv", ".."),
       {{"FATAL",
         "[F]inv SQLiteFileName \"..\" refused: it is \".\" or \"..\"."
         "[InitDBManager.cpp(*)]"},
        {"FATAL", "[F]inv DBConfig.xml error[InitDBManager.cpp(*)]"}}},
      {"inv",
       ProductTree::DBConfigBody("inv", "Public.DB"),
       {{"FATAL",
         "[F]inv SQLiteFileName \"Public.DB\" refused: it names the shared database "
         "public.db.[InitDBManager.cpp(*)]"},
        {"FATAL", "[F]inv DBConfig.xml error[InitDBManager.cpp(*)]"}}},
      {"inv",
       ProductTree::DBConfigBody("inv", "platform.db"),
       {{"FATAL",
         "[F]inv SQLiteFileName \"platform.db\" refused: it names the platform's "
         "database platform.db.[InitDBManager.cpp(*)]"},
        {"FATAL", "[F]inv DBConfig.xml error[InitDBManager.cpp(*)]"}}},
  };
  for (const auto& c : cases) {
    CFreshManager manager;
    tree_.WriteDBConfig(c.plugin, c.sqlite);
    LogCapture capture;
    EXPECT_FALSE(manager.ReadPluginDBConfig(c.plugin)) << c.sqlite;
    std::vector<LogLine> expected = c.lines;
    for (LogLine& line : expected) {
      line.message.replace(1, 1, "plinth::CInitDBManager::ReadPluginDBConfig");
    }
    EXPECT_EQ(capture.LinesWithoutNumbers(), expected) << c.sqlite;
  }
}

TEST_F(ManagerTest, SpecialPluginRecords) {
  tree_.WriteDBConfig(
      "event.s",
      ProductTree::DBConfigBody(
          "event", "event.db",
          "<LoadPublicFuncDLL>0</LoadPublicFuncDLL><DBInitForOtherPlugins><Plugin><Identify>x"
          "</Identify><SQLScript><Path>x.sql</Path></SQLScript></Plugin></DBInitForOtherPlugins>"));
  tree_.WriteDBConfig("b.s", ProductTree::DBConfigBody("b", "b.db"));
  ASSERT_TRUE(manager_.ReadSpecialPluginDBConfig({"event.s", "b.s", "event.s"}));
  ASSERT_EQ(manager_.state().special_plugins_.size(), 2u);
  const PluginDBConfig& event = manager_.state().special_plugins_.at("event.s");
  EXPECT_EQ(event.plugin_name, "event.s");
  EXPECT_EQ(event.sqlite_file_name, "event.db");
  EXPECT_FALSE(event.load_public_func_dll);
  EXPECT_TRUE(event.other_plugin_scripts.empty());
  EXPECT_EQ(manager_.state().special_plugins_.begin()->first, "b.s");

  CFreshManager empty;
  EXPECT_TRUE(empty.ReadSpecialPluginDBConfig({}));

  // A failing name stops the walk; the names before it stay.
  CFreshManager partial;
  EXPECT_FALSE(partial.ReadSpecialPluginDBConfig({"b.s", "missing.s", "event.s"}));
  ASSERT_EQ(partial.state().special_plugins_.size(), 1u);
  EXPECT_EQ(partial.state().special_plugins_.count("b.s"), 1u);
}

TEST_F(ManagerTest, SQLiteSettings) {
  tree_.WriteSQLiteConfig({{"synchronous", "NORMAL"},
                           {"journal_mode", "WAL"},
                           {"cache_size", "-4000"},
                           {"synchronous", "FULL"},
                           {"", "no name"}});
  LogCapture capture;
  ASSERT_TRUE(manager_.ReadSQLiteConfig());
  EXPECT_FALSE(manager_.state().need_encrypt_);
  EXPECT_EQ(manager_.state().sqlite_config_,
            (std::map<std::string, std::string>{{"", "no name"},
                                                {"cache_size", "-4000"},
                                                {"journal_mode", "WAL"},
                                                {"synchronous", "NORMAL"}}));
  const std::string f = "[plinth::CInitDBManager::ReadSQLiteConfig]";
  const std::string at = "[InitDBManager.cpp(*)]";
  EXPECT_EQ(capture.LinesWithoutNumbers(),
            (std::vector<LogLine>{{"INFO", f + "Get 5 cnt config in SQLiteConfig.xml" + at},
                                  {"INFO", f + "PRAGMA synchronous = NORMAL" + at},
                                  {"INFO", f + "PRAGMA journal_mode = WAL" + at},
                                  {"INFO", f + "PRAGMA cache_size = -4000" + at},
                                  {"INFO", f + "PRAGMA synchronous = FULL" + at},
                                  {"INFO", f + "PRAGMA  = no name" + at}}));
}

// A refused setting stops the reading before any setting is logged or stored.
TEST_F(ManagerTest, RefusedSettingStoresNothing) {
  tree_.WriteSQLiteConfig({{"key", "s3cret"}, {"journal_mode", "WAL"}, {"Key", "s3cret"}});
  LogCapture capture;
  EXPECT_FALSE(manager_.ReadSQLiteConfig());
  EXPECT_FALSE(manager_.state().need_encrypt_);
  EXPECT_TRUE(manager_.state().sqlite_config_.empty());
  const std::string f = "[plinth::CInitDBManager::ReadSQLiteConfig]";
  const std::string at = "[InitDBManager.cpp(*)]";
  EXPECT_EQ(capture.LinesWithoutNumbers(),
            (std::vector<LogLine>{{"INFO", f + "Get 3 cnt config in SQLiteConfig.xml" + at},
                                  {"FATAL", f +
                                                "SQLiteConfig.xml setting \"Key\" refused: only "
                                                "\"key\" in lower case keys the database files." +
                                                at}}));
}

TEST_F(ManagerTest, KeySettings) {
  const struct {
    const char* name;
    std::vector<std::pair<std::string, std::string>> settings;
    bool need_encrypt;
    std::string stored_key;
  } cases[] = {
      {"key set", {{"key", "s3cret"}}, true, "s3cret"},
      {"key empty", {{"key", ""}}, false, ""},
      {"empty then set", {{"key", ""}, {"key", "later"}}, true, "later"},
      {"first of two set wins", {{"key", "first"}, {"key", "second"}}, true, "first"},
      {"set then empty", {{"key", "first"}, {"key", ""}}, true, "first"},
  };
  for (const auto& c : cases) {
    CFreshManager manager;
    tree_.WriteSQLiteConfig(c.settings);
    LogCapture capture;
    ASSERT_TRUE(manager.ReadSQLiteConfig()) << c.name;
    EXPECT_EQ(manager.state().need_encrypt_, c.need_encrypt) << c.name;
    EXPECT_EQ(manager.state().sqlite_config_.at("key"), c.stored_key) << c.name;
    const std::vector<LogLine> lines = capture.Lines();
    const auto encrypt_lines = std::count_if(lines.begin(), lines.end(), [](const LogLine& l) {
      return l.message.find("db file need encrypt") != std::string::npos;
    });
    EXPECT_EQ(encrypt_lines > 0, c.need_encrypt) << c.name;
    for (const LogLine& line : lines) {
      for (const auto& setting : c.settings) {
        if (!setting.second.empty()) {
          EXPECT_EQ(line.message.find(setting.second), std::string::npos) << c.name;
        }
      }
    }
  }
}

TEST_F(ManagerTest, SettingsFileThatIsNotXmlIsRefused) {
  tree_.Write(tree_.bin_dir() + "/META_INFO/SQLiteConf/SQLiteConfig.xml",
              "<Configs><Config PRAGMA=\"key\" VALUE=\"k\"/>");
  EXPECT_FALSE(manager_.ReadSQLiteConfig());
  EXPECT_TRUE(manager_.state().sqlite_config_.empty());
  EXPECT_FALSE(manager_.state().need_encrypt_);
}

TEST_F(ManagerTest, SecondInitManagerReadsNothing) {
  ASSERT_TRUE(manager_.InitManager("platform"));
  EXPECT_TRUE(manager_.state().inited_);
  tree_.Remove(tree_.sys_dir() + "/META_INFO");
  tree_.Remove(tree_.bin_dir() + "/META_INFO/SQLiteConf");
  LogCapture capture;
  EXPECT_TRUE(manager_.InitManager("other"));
  EXPECT_TRUE(capture.Lines().empty());
  EXPECT_EQ(manager_.state().plugin_config_.plugin_name, "platform");
}

// The DBConfig.xml body of a plug-in that runs the script x.sql of the system
// directory on event.s's database.
std::string BodyWithScriptForEvent(const std::string& name) {
  return ProductTree::DBConfigBody(
      name, name + ".db",
      "<DBInitForOtherPlugins><Plugin><Identify>event.s</Identify><SQLScript><Path>x.sql</Path>"
      "</SQLScript></Plugin></DBInitForOtherPlugins>");
}

TEST_F(ManagerTest, UninitManagerClosesEveryConnectionAndClears) {
  tree_.WriteSQLiteConfig({});  // no key: nothing to derive
  ASSERT_TRUE(manager_.InitManager("platform"));
  LogCapture capture;
  EXPECT_TRUE(manager_.UninitManager());  // nothing open
  EXPECT_FALSE(manager_.state().inited_);
  EXPECT_TRUE(capture.Lines().empty());

  // The platform's build leaves its own connection and public.db's open; the
  // build of a plug-in with a script for event.s one to event.s's database.
  ASSERT_TRUE(manager_.InitManager("platform"));
  ASSERT_TRUE(manager_.RunDBInit());
  tree_.WriteDBConfig("inv", BodyWithScriptForEvent("inv"));
  tree_.Write(tree_.sys_dir() + "/x.sql", "CREATE TABLE x(a);");
  CFreshManager plugin;
  ASSERT_TRUE(plugin.InitManager("inv"));
  ASSERT_TRUE(plugin.RunDBInit());
  ASSERT_NE(manager_.state().public_conn, nullptr);
  ASSERT_NE(plugin.state().db_conn_, nullptr);
  ASSERT_EQ(plugin.state().other_conns_.size(), 1u);

  LogCapture release;
  for (CFreshManager* manager : {&manager_, &plugin}) {
    EXPECT_TRUE(manager->UninitManager());
    const InitDBManagerState& state = manager->state();
    EXPECT_EQ(state.db_conn_, nullptr);
    EXPECT_EQ(state.public_conn, nullptr);
    EXPECT_TRUE(state.other_conns_.empty());
    EXPECT_TRUE(state.plugin_config_.plugin_name.empty());
    EXPECT_TRUE(state.plugin_config_.schema.empty());
    EXPECT_TRUE(state.plugin_config_.sqlite_file_name.empty());
    EXPECT_TRUE(state.sqlite_config_.empty());
    EXPECT_TRUE(state.special_plugins_.empty());
    EXPECT_FALSE(state.need_encrypt_);
    EXPECT_FALSE(state.inited_);
  }
  EXPECT_TRUE(release.Lines().empty());
}

// A test's manager starts empty, whatever another did before it: one read for
// a plug-in with a script for event.s, then one for a plug-in without, holds
// none of the first's scripts. (UninitManager clears a plug-in's name, schema
// and file, not its scripts: a manager used twice would keep them.)
TEST_F(ManagerTest, AFreshManagerKeepsNothingOfAnEarlierOne) {
  tree_.WriteDBConfig("first", BodyWithScriptForEvent("first"));
  tree_.WriteDBConfig("second", ProductTree::DBConfigBody("second", "second.db"));
  {
    CFreshManager first;
    ASSERT_TRUE(first.InitManager("first"));
    ASSERT_EQ(first.state().plugin_config_.other_plugin_scripts.count("event.s"), 1u);
  }
  CFreshManager second;
  ASSERT_TRUE(second.InitManager("second"));
  EXPECT_EQ(second.state().plugin_config_.plugin_name, "second");
  EXPECT_TRUE(second.state().plugin_config_.other_plugin_scripts.empty());
}

// Where a line holding `part` stands among `lines`; -1 when none does.
int IndexOf(const std::vector<LogLine>& lines, const std::string& part) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].message.find(part) != std::string::npos) return static_cast<int>(i);
  }
  return -1;
}

TEST_F(ManagerTest, PlatformBuildsSpecialPluginsInKeyOrderThenRestoresItsRecord) {
  tree_.WriteDBConfig(
      "platform",
      ProductTree::DBConfigBody(
          "platform", "platform.db",
          "<DBInitForOtherPlugins><Plugin><Identify>a</Identify><SQLScript><Path>x.sql</Path>"
          "</SQLScript></Plugin></DBInitForOtherPlugins>"));
  tree_.WriteDBConfig("b", ProductTree::DBConfigBody("b", "b.db"));
  tree_.WriteDBConfig("a", ProductTree::DBConfigBody("a", "a.db"));
  ASSERT_TRUE(manager_.InitManager("platform"));
  const PluginDBConfig platform = manager_.state().plugin_config_;
  ASSERT_TRUE(manager_.ReadSpecialPluginDBConfig({"b", "a"}));

  LogCapture capture;
  ASSERT_TRUE(manager_.RunDBInit());
  const std::vector<LogLine> lines = capture.Lines();
  const int a = IndexOf(lines, "Init for special a.");
  const int b = IndexOf(lines, "Init for special b.");
  const int event = IndexOf(lines, "Init for special event.s.");
  EXPECT_TRUE(a >= 0 && a < b && b < event) << a << " " << b << " " << event;
  EXPECT_TRUE(manager_.state().other_conns_.empty());
  EXPECT_EQ(manager_.state().plugin_config_.plugin_name, platform.plugin_name);
  EXPECT_EQ(manager_.state().plugin_config_.schema, platform.schema);
  EXPECT_EQ(manager_.state().plugin_config_.sqlite_file_name, platform.sqlite_file_name);
  EXPECT_EQ(manager_.state().plugin_config_.load_public_func_dll, platform.load_public_func_dll);
  EXPECT_EQ(manager_.state().plugin_config_.sqlite_func_dll_name, platform.sqlite_func_dll_name);
  EXPECT_EQ(manager_.state().plugin_config_.other_plugin_scripts, platform.other_plugin_scripts);
}

TEST_F(ManagerTest, FailingSpecialPluginEndsTheBuild) {
  tree_.WriteDBConfig("b", ProductTree::DBConfigBody("b", "b.db"));
  tree_.WriteDBConfig("a", ProductTree::DBConfigBody("a", "a.db"));
  tree_.Write(tree_.ScriptFile("a", "create_tables.sql"), "CREATE TABLE broken(");
  ASSERT_TRUE(manager_.InitManager("platform"));
  ASSERT_TRUE(manager_.ReadSpecialPluginDBConfig({"b", "a"}));

  LogCapture capture;
  EXPECT_FALSE(manager_.RunDBInit());
  const std::vector<LogLine> lines = capture.LinesWithoutNumbers();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), (LogLine{"ERROR",
                                   "[plinth::CInitDBManager::RunDBInit]SQLiteDBInit for "
                                   "special a fail[InitDBManager.cpp(*)]"}));
  EXPECT_EQ(IndexOf(lines, "Init for special b."), -1);
  EXPECT_FALSE(tree_.Exists(tree_.data_dir() + "/b.db"));
  EXPECT_EQ(manager_.state().plugin_config_.plugin_name, "a");
}

}  // namespace
}  // namespace plinth
