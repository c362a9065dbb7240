// The plug-in's configuration through the real binary: refused names, the
// failures of reading the configuration, and the key kept out of the log.
#include <gtest/gtest.h>

#include <functional>

#include "e2e/Harness.h"
#include "e2e/TestUtil.h"

namespace plinth_e2e {
namespace {

const std::string kInit = "[plinth::CInitDBManager::InitManager]";

TEST(Config, PluginNamesThatLeaveTheirDirectoryAreInputErrors) {
  const struct {
    const char* name;
    const char* reason;
  } cases[] = {
      {"../SYS", "it contains a path separator"},
      {"a\\b", "it contains a path separator"},
      {".", "it is \".\" or \"..\""},
      {"..", "it is \".\" or \"..\""},
  };
  ProductTree tree;
  for (const auto& c : cases) {
    const RunResult run = tree.Run({c.name});
    EXPECT_EQ(run.exit_code, 1) << c.name;
    EXPECT_EQ(run.Lines(),
              (Lines{"INFO [main]RUN Plinth START.[main.cpp(*)]",
                     std::string("INFO [main]") + c.name + " Init.[main.cpp(*)]",
                     std::string("ERROR [main]plugin name \"") + c.name +
                         "\" refused: " + c.reason + ".[main.cpp(*)]",
                     "ERROR [main]RUN Plinth FAILED. input param error![main.cpp(*)]"}))
        << c.name;
  }
}

// A configuration problem: how the tree is spoiled, the plug-in run, and the
// lines that must follow in this order. Each fails with err_code 5.
struct ConfigCase {
  const char* name;
  std::function<void(const ProductTree&)> spoil;
  std::function<Lines(const ProductTree&)> expected;
  friend void PrintTo(const ConfigCase& c, std::ostream* os) { *os << c.name; }
};

void WriteInventory(const ProductTree& t) {
  t.WriteDBConfig("inv", ProductTree::DBConfigBody("inv", "inv.db"));
}

const ConfigCase kConfigCases[] = {
    {"PluginDBConfigMissing", [](const ProductTree&) {},
     [](const ProductTree& t) {
       return Lines{"FATAL [plinth::CInitDBManager::ReadPluginDBConfig]ReadFile fail, path = " +
                        t.PluginFile("inv", "DBConfig.xml") + "[InitDBManager.cpp(*)]",
                    "ERROR " + kInit + "ReadPluginDBConfig fail, plugin inv[InitDBManager.cpp(*)]"};
     }},
    {"SchemaMissing",
     [](const ProductTree& t) {
       t.WriteDBConfig("inv", "<SQLiteFileName>inv.db</SQLiteFileName>");
     },
     [](const ProductTree&) {
       return Lines{
           "FATAL [plinth::CInitDBManager::ReadPluginDBConfig]inv DBConfig.xml error"
           "[InitDBManager.cpp(*)]",
           "ERROR " + kInit + "ReadPluginDBConfig fail, plugin inv[InitDBManager.cpp(*)]"};
     }},
    {"SpecialDBConfigMissing",
     [](const ProductTree& t) {
       WriteInventory(t);
       t.Remove(t.PluginFile("event.s", "DBConfig.xml"));
     },
     [](const ProductTree& t) {
       return Lines{
           "FATAL [plinth::CInitDBManager::ReadSpecialPluginDBConfig]ReadFile fail, path = " +
               t.PluginFile("event.s", "DBConfig.xml") + "[InitDBManager.cpp(*)]",
           "ERROR " + kInit + "ReadSpecialPluginDBConfig fail[InitDBManager.cpp(*)]"};
     }},
    {"SpecialFileNameIsTheSharedDatabase",
     [](const ProductTree& t) {
       WriteInventory(t);
       t.WriteDBConfig("event.s", ProductTree::DBConfigBody("event", "public.db"));
     },
     [](const ProductTree&) {
       const std::string f = "FATAL [plinth::CInitDBManager::ReadSpecialPluginDBConfig]";
       return Lines{f + "event.s SQLiteFileName \"public.db\" refused: it names the shared "
                        "database public.db.[InitDBManager.cpp(*)]",
                    f + "event.s DBConfig.xml error[InitDBManager.cpp(*)]",
                    "ERROR " + kInit + "ReadSpecialPluginDBConfig fail[InitDBManager.cpp(*)]"};
     }},
    {"FileNameOfASpecialPlugin",
     [](const ProductTree& t) {
       t.WriteDBConfig("inv", ProductTree::DBConfigBody("inv", "Event.db"));
       t.Write(t.data_dir() + "/event.db", "event.s's data");
     },
     [](const ProductTree&) {
       const std::string f = "FATAL [plinth::CInitDBManager::ReadSpecialPluginDBConfig]";
       return Lines{f + "inv SQLiteFileName \"Event.db\" refused: it is the database of event.s."
                        "[InitDBManager.cpp(*)]",
                    f + "inv DBConfig.xml error[InitDBManager.cpp(*)]",
                    "ERROR " + kInit + "ReadSpecialPluginDBConfig fail[InitDBManager.cpp(*)]"};
     }},
    {"SQLiteConfigMissing",
     [](const ProductTree& t) {
       WriteInventory(t);
       t.Remove(t.bin_dir() + "/META_INFO/SQLiteConf");
     },
     [](const ProductTree& t) {
       return Lines{
           "FATAL [plinth::CInitDBManager::ReadSQLiteConfig]ReadFile fail, path = " + t.bin_dir() +
               "/META_INFO/SQLiteConf/SQLiteConfig.xml[InitDBManager.cpp(*)]",
           "ERROR " + kInit + "ReadSQLiteConfig fail[InitDBManager.cpp(*)]"};
     }},
};

class ConfigFailure : public ::testing::TestWithParam<ConfigCase> {};

TEST_P(ConfigFailure, EndsWithErrCodeFive) {
  ProductTree tree;
  GetParam().spoil(tree);
  const std::string before = DirectorySnapshot(tree.data_dir());
  const RunResult run = tree.Run({"inv"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(DirectorySnapshot(tree.data_dir()), before);
  Lines expected = GetParam().expected(tree);
  expected.push_back(
      "ERROR [plinth::CExecuteInit::ExecInitDB]manager init failed![ExecuteInit.cpp(*)]");
  expected.push_back("ERROR [main]inv plugin Init FAILED.err_code:5.[main.cpp(*)]");
  EXPECT_TRUE(InOrder(run, expected));
}

INSTANTIATE_TEST_SUITE_P(Config, ConfigFailure, ::testing::ValuesIn(kConfigCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Config, RefusedFileNameRemovesNothing) {
  ProductTree tree;
  tree.Write(tree.data_dir() + "/public.db", "precious");
  tree.Write(tree.data_dir() + "/platform.db-wal", "precious too");
  for (const char* file : {"public.db", "platform.db", "../data/public.db"}) {
    tree.WriteDBConfig("inv", ProductTree::DBConfigBody("inv", file));
    const RunResult run = tree.Run({"inv"});
    EXPECT_EQ(run.exit_code, 1) << file;
    EXPECT_TRUE(InOrder(run, {"FATAL [plinth::CInitDBManager::ReadPluginDBConfig]inv DBConfig.xml "
                              "error[InitDBManager.cpp(*)]",
                              "ERROR [main]inv plugin Init FAILED.err_code:5.[main.cpp(*)]"}))
        << file;
  }
  EXPECT_EQ(tree.Read(tree.data_dir() + "/public.db"), "precious");
  EXPECT_EQ(tree.Read(tree.data_dir() + "/platform.db-wal"), "precious too");
}

TEST(Config, SpecialNameInOtherSpellingIsAnOrdinaryPlugin) {
  ProductTree tree;
  for (const char* name : {"Event.s", "event.s "}) {
    const RunResult run = tree.Run({name});
    EXPECT_EQ(run.exit_code, 1) << name;
    EXPECT_EQ(run.Find("aleady init with platform"), -1) << name;
    EXPECT_TRUE(
        InOrder(run, {"FATAL [plinth::CInitDBManager::ReadPluginDBConfig]ReadFile fail, path = " +
                      tree.PluginFile(name, "DBConfig.xml") + "[InitDBManager.cpp(*)]"}))
        << name;
  }
}

TEST(Config, KeyNeverReachesTheLog) {
  ProductTree tree;
  tree.WriteSQLiteConfig(
      {{"key", kKey}, {"Key", kKey}, {"rekey", kKey}, {"HexKey", kKey}, {"cache_size", "-2000"}});
  const RunResult run = tree.Run({"platform"});
  EXPECT_TRUE(NowhereInOutput(run, kKey));
  EXPECT_TRUE(
      run.Has("INFO [plinth::CInitDBManager::ReadSQLiteConfig]PRAGMA key = ***"
              "[InitDBManager.cpp(*)]"))
      << run.Dump();
  EXPECT_TRUE(
      run.Has("INFO [plinth::CInitDBManager::ReadSQLiteConfig]PRAGMA HexKey = ***"
              "[InitDBManager.cpp(*)]"))
      << run.Dump();
}

}  // namespace
}  // namespace plinth_e2e
