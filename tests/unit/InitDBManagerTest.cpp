// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// The database manager's configuration readers and its release, in process,
// on a product tree in a temporary directory.
#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>

#include <algorithm>

#include "Business/InitDBManager.h"
#include "Config/ToolSetup.h"
#include "support/ManagerPeer.h"
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
  CInitDBManagerPeer peer_;
};

TEST_F(ManagerTest, PlatformReadsTheSysDirectory) {
  ASSERT_TRUE(peer_.ReadPluginDBConfig("platform"));
  EXPECT_EQ(peer_.plugin_config().plugin_name, "platform");
  EXPECT_EQ(peer_.plugin_config().sqlite_file_name, "platform.db");
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
    CInitDBManagerPeer peer;
    tree_.WriteDBConfig(c.plugin, c.sqlite);
    LogCapture capture;
    EXPECT_FALSE(peer.ReadPluginDBConfig(c.plugin)) << c.sqlite;
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
  ASSERT_TRUE(peer_.ReadSpecial({"event.s", "b.s", "event.s"}));
  ASSERT_EQ(peer_.special().size(), 2u);
  const PluginDBConfig& event = peer_.special().at("event.s");
  EXPECT_EQ(event.plugin_name, "event.s");
  EXPECT_EQ(event.sqlite_file_name, "event.db");
  EXPECT_FALSE(event.load_public_func_dll);
  EXPECT_TRUE(event.other_plugin_scripts.empty());
  EXPECT_EQ(peer_.special().begin()->first, "b.s");

  CInitDBManagerPeer empty;
  EXPECT_TRUE(empty.ReadSpecial({}));

  // A failing name stops the walk; the names before it stay.
  CInitDBManagerPeer partial;
  EXPECT_FALSE(partial.ReadSpecial({"b.s", "missing.s", "event.s"}));
  ASSERT_EQ(partial.special().size(), 1u);
  EXPECT_EQ(partial.special().count("b.s"), 1u);
}

TEST_F(ManagerTest, SQLiteSettings) {
  tree_.WriteSQLiteConfig({{"synchronous", "NORMAL"},
                           {"journal_mode", "WAL"},
                           {"cache_size", "-4000"},
                           {"synchronous", "FULL"},
                           {"", "no name"}});
  LogCapture capture;
  ASSERT_TRUE(peer_.ReadSQLiteConfig());
  EXPECT_FALSE(peer_.need_encrypt());
  EXPECT_EQ(peer_.sqlite_config(), (std::map<std::string, std::string>{{"", "no name"},
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
  EXPECT_FALSE(peer_.ReadSQLiteConfig());
  EXPECT_FALSE(peer_.need_encrypt());
  EXPECT_TRUE(peer_.sqlite_config().empty());
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
    CInitDBManagerPeer peer;
    tree_.WriteSQLiteConfig(c.settings);
    LogCapture capture;
    ASSERT_TRUE(peer.ReadSQLiteConfig()) << c.name;
    EXPECT_EQ(peer.need_encrypt(), c.need_encrypt) << c.name;
    EXPECT_EQ(peer.sqlite_config().at("key"), c.stored_key) << c.name;
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
  EXPECT_FALSE(peer_.ReadSQLiteConfig());
  EXPECT_TRUE(peer_.sqlite_config().empty());
  EXPECT_FALSE(peer_.need_encrypt());
}

TEST_F(ManagerTest, SecondInitManagerReadsNothing) {
  ASSERT_TRUE(peer_->InitManager("platform"));
  EXPECT_TRUE(peer_.inited());
  tree_.Remove(tree_.sys_dir() + "/META_INFO");
  tree_.Remove(tree_.bin_dir() + "/META_INFO/SQLiteConf");
  LogCapture capture;
  EXPECT_TRUE(peer_->InitManager("other"));
  EXPECT_TRUE(capture.Lines().empty());
  EXPECT_EQ(peer_.plugin_config().plugin_name, "platform");
}

TEST_F(ManagerTest, UninitManagerClosesEveryConnectionAndClears) {
  ASSERT_TRUE(peer_->InitManager("platform"));
  LogCapture capture;
  EXPECT_TRUE(peer_->UninitManager());  // nothing open
  EXPECT_FALSE(peer_.inited());
  EXPECT_TRUE(capture.Lines().empty());

  ASSERT_TRUE(peer_->InitManager("platform"));
  for (sqlite3** conn : {&peer_.db_conn(), &peer_.public_conn(), &peer_.other_conns()["b"],
                         &peer_.other_conns()["a"]}) {
    ASSERT_EQ(sqlite3_open(":memory:", conn), SQLITE_OK);
  }
  peer_.other_conns()["null"] = nullptr;
  LogCapture release;
  EXPECT_TRUE(peer_->UninitManager());
  EXPECT_EQ(peer_.db_conn(), nullptr);
  EXPECT_EQ(peer_.public_conn(), nullptr);
  EXPECT_TRUE(peer_.other_conns().empty());
  EXPECT_TRUE(peer_.plugin_config().plugin_name.empty());
  EXPECT_TRUE(peer_.plugin_config().sqlite_file_name.empty());
  EXPECT_TRUE(peer_.sqlite_config().empty());
  EXPECT_TRUE(peer_.special().empty());
  EXPECT_FALSE(peer_.need_encrypt());
  EXPECT_FALSE(peer_.inited());
  EXPECT_TRUE(release.Lines().empty());
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
  ASSERT_TRUE(peer_->InitManager("platform"));
  const PluginDBConfig platform = peer_.plugin_config();
  ASSERT_TRUE(peer_.ReadSpecial({"b", "a"}));

  LogCapture capture;
  ASSERT_TRUE(peer_->RunDBInit());
  const std::vector<LogLine> lines = capture.Lines();
  const int a = IndexOf(lines, "Init for special a.");
  const int b = IndexOf(lines, "Init for special b.");
  const int event = IndexOf(lines, "Init for special event.s.");
  EXPECT_TRUE(a >= 0 && a < b && b < event) << a << " " << b << " " << event;
  EXPECT_TRUE(peer_.other_conns().empty());
  EXPECT_EQ(peer_.plugin_config().plugin_name, platform.plugin_name);
  EXPECT_EQ(peer_.plugin_config().schema, platform.schema);
  EXPECT_EQ(peer_.plugin_config().sqlite_file_name, platform.sqlite_file_name);
  EXPECT_EQ(peer_.plugin_config().load_public_func_dll, platform.load_public_func_dll);
  EXPECT_EQ(peer_.plugin_config().sqlite_func_dll_name, platform.sqlite_func_dll_name);
  EXPECT_EQ(peer_.plugin_config().other_plugin_scripts, platform.other_plugin_scripts);
}

TEST_F(ManagerTest, FailingSpecialPluginEndsTheBuild) {
  tree_.WriteDBConfig("b", ProductTree::DBConfigBody("b", "b.db"));
  tree_.WriteDBConfig("a", ProductTree::DBConfigBody("a", "a.db"));
  tree_.Write(tree_.ScriptFile("a", "create_tables.sql"), "CREATE TABLE broken(");
  ASSERT_TRUE(peer_->InitManager("platform"));
  ASSERT_TRUE(peer_.ReadSpecial({"b", "a"}));

  LogCapture capture;
  EXPECT_FALSE(peer_->RunDBInit());
  const std::vector<LogLine> lines = capture.LinesWithoutNumbers();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), (LogLine{"ERROR",
                                   "[plinth::CInitDBManager::RunDBInit]SQLiteDBInit for "
                                   "special a fail[InitDBManager.cpp(*)]"}));
  EXPECT_EQ(IndexOf(lines, "Init for special b."), -1);
  EXPECT_FALSE(tree_.Exists(tree_.data_dir() + "/b.db"));
  EXPECT_EQ(peer_.plugin_config().plugin_name, "a");
}

}  // namespace
}  // namespace plinth
