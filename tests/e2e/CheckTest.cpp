// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// Plinth --check <plug-in> through the real binary: a sound product passes
// and every file stays as it was; each kind of problem fails the check with
// the lines the run gives for it.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <stdexcept>

#include "e2e/Harness.h"
#include "e2e/TestUtil.h"

namespace plinth_e2e {
namespace {

namespace fs = std::filesystem;

const std::string kAt = "[InitDBManager.cpp(*)]";
const std::string kCheckStart = "INFO [main]CHECK Plinth START.[main.cpp(*)]";
const std::string kCheckSuccess = "INFO [main]CHECK Plinth SUCCESS.[main.cpp(*)]";
const std::string kCheckDB = "[plinth::CInitDBManager::CheckDBInit]";

// The settings of every tree here: cheap key derivations.
const std::vector<std::pair<std::string, std::string>> kSettings = {{"key", kKey},
                                                                    {"kdf_iter", "1000"}};

// `line` ("LEVEL [function]message[file(*)]") with its function written as
// "*": a check's step and the run's that meet a problem say the same under
// other names.
std::string WithoutFunction(const std::string& line) {
  const std::size_t open = line.find(" [");
  const std::size_t close = line.find(']', open);
  if (open == std::string::npos || close == std::string::npos) return line;
  return line.substr(0, open) + " [*" + line.substr(close);
}

// Success when `expected` ("LEVEL [*]message[file(*)]") appear among the
// lines of `run`, function names aside, in this order, others coming between.
::testing::AssertionResult CausesInOrder(const RunResult& run, const Lines& expected) {
  Lines lines;
  for (const std::string& line : run.Lines()) lines.push_back(WithoutFunction(line));
  return InOrder(lines, expected, run);
}

// An ordinary plug-in "inv" (inv.db) that runs `ev.sql` in the database of
// event.s, and scripts for the platform, event.s and inv.
void WriteProduct(const ProductTree& tree) {
  tree.WriteSQLiteConfig(kSettings);
  tree.Write(tree.ScriptFile("platform", "create_tables.sql"), "CREATE TABLE site(name TEXT);\n");
  tree.Write(tree.ScriptFile("event.s", "create_tables.sql"), "CREATE TABLE events(name TEXT);\n");
  tree.WriteDBConfig(
      "inv", ProductTree::DBConfigBody(
                 "inv", "inv.db", ProductTree::EventSScripts("<Path>META_INFO/inv/ev.sql</Path>")));
  tree.Write(tree.sys_dir() + "/META_INFO/inv/ev.sql", "INSERT INTO events VALUES('inv');\n");
  tree.Write(tree.ScriptFile("inv", "create_tables.sql"),
             "CREATE TABLE item(sku TEXT);\n"
             "CREATE TABLE seen(sku TEXT);\n"
             "CREATE TRIGGER item_seen AFTER INSERT ON item BEGIN\n"
             "  INSERT INTO seen VALUES(new.sku);\n"
             "END;\n");
  // A last statement without its ";" runs as well.
  tree.Write(tree.ScriptFile("inv", "init_data.sql"), "INSERT INTO item VALUES('a')\n\n");
}

// A check holds no lock: it runs beside a running instance, which holds it
// here, and creates no lock file. It creates, removes and writes no file: no
// data directory when there was none, the database files byte for byte as
// they were after they are built, in WAL mode too (a read-only open would
// make a write-ahead log beside them). At the default key derivation: a
// kdf_iter setting after journal_mode makes the run fail.
TEST(Check, SoundProductPassesAndChangesNothing) {
  ProductTree tree;
  WriteProduct(tree);
  tree.WriteSQLiteConfig({{"key", kKey}, {"journal_mode", "WAL"}});
  RunningInstance running(tree.tmp_dir());
  ASSERT_TRUE(running.held()) << running.error();

  const std::string sys = tree.sys_dir();
  const std::string conf = "[plinth::CInitDBManager::CheckConnections]";
  const std::string scripts = "[plinth::CInitDBManager::CheckScripts]";
  const std::string shared = "[plinth::CInitDBManager::CheckSharedDatabases]";
  const Lines settings = {
      "INFO [plinth::CInitDBManager::ReadSQLiteConfig]Get 2 cnt config in SQLiteConfig.xml" + kAt,
      "INFO [plinth::CInitDBManager::ReadSQLiteConfig]db file need encrypt" + kAt,
      "INFO [plinth::CInitDBManager::ReadSQLiteConfig]PRAGMA key = ***" + kAt,
      "INFO [plinth::CInitDBManager::ReadSQLiteConfig]PRAGMA journal_mode = WAL" + kAt};
  const std::string wal = "INFO " + conf + "conf_sql:PRAGMA \"journal_mode\" = \"WAL\";." + kAt;
  Lines expected = {
      kCheckStart, "INFO [main]inv Check.[main.cpp(*)]",
      "INFO [plinth::CToolSetup::InitSetup]s_db_data_dir_: " + tree.data_dir() +
          "[ToolSetup.cpp(*)]",
      "INFO [plinth::CToolSetup::InitSetup]s_sys_path_: " + sys + "[ToolSetup.cpp(*)]",
      "INFO [plinth::CToolSetup::InitSetup]s_product_type: ProductA[ToolSetup.cpp(*)]"};
  expected.insert(expected.end(), settings.begin(), settings.end());
  const Lines inv_tail = {// inv.db's connection gets the settings, event.db's the key alone.
                          wal,
                          "INFO " + shared + "data_path " + tree.data_dir() +
                              " does not exist: no database file to read." + kAt,
                          kCheckSuccess};
  Lines without_data = expected;
  without_data.insert(without_data.end(), inv_tail.begin(), inv_tail.end());

  const RunResult first = tree.Run({"--check", "inv"});
  EXPECT_EQ(first.exit_code, 0) << first.Dump();
  EXPECT_EQ(first.Lines(), without_data);
  const RunResult platform = tree.Run({"--check", "platform"});
  EXPECT_EQ(platform.exit_code, 0) << platform.Dump();
  EXPECT_TRUE(
      InOrder(platform, {kCheckStart, "INFO " + scripts + "Check for special event.s." + kAt,
                         "WARN " + scripts + "Not exists init_data.sql" + kAt, kCheckSuccess}));
  const RunResult special = tree.Run({"--check", "event.s"});
  EXPECT_EQ(special.exit_code, 0) << special.Dump();
  EXPECT_TRUE(InOrder(special, {"INFO [plinth::CExecuteInit::CheckInitDB]event.s aleady init "
                                "with platform![ExecuteInit.cpp(*)]",
                                kCheckSuccess}));
  EXPECT_FALSE(tree.Exists(tree.data_dir()));
  EXPECT_EQ(DirectorySnapshot(tree.tmp_dir()), tree.tmp_dir() + "\n" + running.path() + "=\n");

  // An empty data directory: no database file to read, none made.
  fs::create_directories(tree.data_dir());
  const RunResult empty = tree.Run({"--check", "inv"});
  EXPECT_EQ(empty.exit_code, 0) << empty.Dump();
  const std::string data = tree.data_dir();
  EXPECT_TRUE(InOrder(
      empty,
      {"INFO " + shared + data + "/public.db does not exist, not read." + kAt,
       "INFO " + shared + data + "/platform.db does not exist, not read." + kAt,
       "INFO " + shared + data + "/event.db does not exist, not read." + kAt, kCheckSuccess}));
  EXPECT_EQ(DirectorySnapshot(data), data + "\n");

  running.Release();
  ASSERT_EQ(tree.Run({"platform"}).exit_code, 0);
  ASSERT_EQ(tree.Run({"inv"}).exit_code, 0);
  const std::string built = DirectorySnapshot(tree.data_dir());
  const RunResult again = tree.Run({"--check", "inv"});
  EXPECT_EQ(again.exit_code, 0) << again.Dump();
  Lines with_data = expected;
  with_data.insert(
      with_data.end(),
      {wal, "INFO " + shared + "db file full_path:" + data + "/public.db, read-only" + kAt,
       "INFO " + shared + "db file full_path:" + data + "/platform.db, read-only" + kAt,
       "INFO " + shared + "db file full_path:" + data + "/event.db, read-only" + kAt,
       kCheckSuccess});
  EXPECT_EQ(again.Lines(), with_data);
  EXPECT_EQ(tree.Run({"--check", "platform"}).exit_code, 0);
  EXPECT_EQ(DirectorySnapshot(tree.data_dir()), built);
  EXPECT_EQ(tree.Query("event.db", "SELECT name FROM events;"), "inv\n");
  EXPECT_EQ(tree.Query("inv.db", "SELECT sku FROM seen;"), "a\n");
}

// One kind of problem that the check finds as the run does.
struct ProblemCase {
  const char* name;
  std::function<void(const ProductTree&)> prepare;
  const char* plugin;
  // The lines of the cause, which the check and the run both give, "@"
  // standing for the tree's root and each function written as "*".
  Lines causes;
  // The check's own lines for the step that failed.
  Lines check_steps;
  int err_code;
  friend void PrintTo(const ProblemCase& c, std::ostream* os) { *os << c.name; }
};

std::string StepFailed(const std::string& step) {
  return "ERROR " + kCheckDB + step + " fail" + kAt;
}

const std::string kCheckFailed =
    "ERROR [plinth::CExecuteInit::CheckInitDB]CheckDBInit exec failed![ExecuteInit.cpp(*)]";
const std::string kManagerFailed =
    "ERROR [plinth::CExecuteInit::CheckInitDB]manager init failed![ExecuteInit.cpp(*)]";
const std::string kInvScripts = "@/product/system/META_INFO/inv/runtime_script/db_init/SQLite/";

const ProblemCase kProblemCases[] = {
    {"BadXmlInTheToolSettings",
     [](const ProductTree& t) {
       t.Write(t.bin_dir() + "/META_INFO/InitSetup.xml", "<Configs><SQLiteDataPath>x</Configs>");
     },
     "inv",
     {"FATAL [*]@/bin/META_INFO/InitSetup.xml is not well-formed XML: Start-end tags mismatch at "
      "offset 28[ToolSetup.cpp(*)]",
      "FATAL [*]data path empty.[ToolSetup.cpp(*)]"},
     {"ERROR [plinth::CExecuteInit::CheckInitDB]Init Setup failed![ExecuteInit.cpp(*)]"},
     1},
    {"BadXmlInDBConfig",
     [](const ProductTree& t) {
       t.Write(t.PluginFile("inv", "DBConfig.xml"), "<DBConfig><ProductA>");
     },
     "inv",
     {"FATAL [*]@/product/system/META_INFO/inv/runtime_script/DBConfig.xml is not well-formed "
      "XML: Start-end tags mismatch at offset 19" +
          kAt,
      "FATAL [*]inv DBConfig.xml error" + kAt,
      "ERROR [*]ReadPluginDBConfig fail, plugin inv" + kAt},
     {kManagerFailed},
     5},
    {"RefusedDatabaseFileName",
     [](const ProductTree& t) {
       t.WriteDBConfig("inv", ProductTree::DBConfigBody("inv", "event.db-wal"));
     },
     "inv",
     {"FATAL [*]inv SQLiteFileName \"event.db-wal\" refused: it is a companion file of the "
      "database of event.s." +
          kAt,
      "FATAL [*]inv DBConfig.xml error" + kAt},
     {kManagerFailed},
     5},
    {"RefusedSetting",
     [](const ProductTree& t) {
       t.WriteSQLiteConfig({{"key", kKey}, {"cipher_salt", "x'00112233445566778899aabbccddeeff'"}});
     },
     "inv",
     {"FATAL [*]SQLiteConfig.xml setting \"cipher_salt\" refused: it would give every "
      "database file the same salt." +
          kAt,
      "ERROR [*]ReadSQLiteConfig fail" + kAt},
     {kManagerFailed},
     5},
    {"SettingSQLiteRefuses",
     [](const ProductTree& t) {
       t.WriteSQLiteConfig(
           {{"key", kKey}, {"kdf_iter", "1000"}, {"temp_store_directory", "/nonexistent/dir"}});
     },
     "inv",
     {"INFO [*]conf_sql:PRAGMA \"temp_store_directory\" = \"/nonexistent/dir\";." + kAt,
      "ERROR [*]sqlite config set fail,sql:PRAGMA \"temp_store_directory\" = "
      "\"/nonexistent/dir\";,errorcode:1,errinfo:not a writable directory" +
          kAt},
     {StepFailed("CheckConnections"), kCheckFailed},
     5},
    {"ExtensionLibraryIsNotAFile",
     [](const ProductTree& t) {
       t.WriteDBConfig(
           "inv", ProductTree::DBConfigBody("inv", "inv.db",
                                            "<SQLiteFuncDLL><Name>inv.so</Name></SQLiteFuncDLL>"));
       fs::create_directories(t.sys_dir() + "/inv.so");
     },
     "inv",
     {"ERROR [*]extension library @/product/system/inv.so is not a regular file" + kAt},
     {StepFailed("CheckExtensionLibraries"), kCheckFailed},
     5},
    {"ExtensionDoesNotLoad",
     [](const ProductTree& t) {
       t.InstallExtension("failing.func.sqlite.so");
       t.WriteDBConfig("inv",
                       ProductTree::DBConfigBody(
                           "inv", "inv.db",
                           "<SQLiteFuncDLL><Name>failing.func.sqlite.so</Name></SQLiteFuncDLL>"));
     },
     "inv",
     {"ERROR [*]sqlite3_load_extension fail,errorcode:1,errinfo:error during initialization: "
      "failing.func.sqlite refuses to load" +
      kAt},
     {StepFailed("CheckConnections"), kCheckFailed},
     5},
    {"SharedExtensionMissingForThePublicDatabase",
     [](const ProductTree& t) { t.Remove(t.sys_dir() + "/public.func.sqlite.so"); },
     "platform",
     {"ERROR [*]sqlite3_load_extension key fail,errorcode:1,errinfo:@/product/system/"
      "public.func.sqlite.so.so: cannot open shared object file: No such file or directory" +
      kAt},
     {StepFailed("CheckConnections"), kCheckFailed},
     5},
    {"WrongKeyForThePublicDatabase",
     [](const ProductTree& t) {
       t.WriteSQLiteConfig({{"key", "another key"}, {"kdf_iter", "1000"}});
       if (t.Run({"platform"}).exit_code != 0)
         throw std::runtime_error("the platform's run failed");
       t.WriteSQLiteConfig(kSettings);
     },
     "inv",
     {"ERROR [*]attach database fail,errorcode:26,errinfo:file is not a database" + kAt,
      "ERROR [*]attaching @/data/public.db as public failed" + kAt,
      "ERROR [*]@/data/public.db cannot be read with the configured key and cipher settings: the "
      "key may be wrong or missing, the file may have been written with other cipher settings, "
      "or by another SQLCipher format (e.g. before the upgrade to SQLCipher 4): run the plug-in "
      "platform first to build the shared databases anew, or set cipher_compatibility = 3 in "
      "SQLiteConfig.xml" +
          kAt},
     {StepFailed("CheckSharedDatabases"), kCheckFailed},
     5},
    {"RequiredScriptMissing",
     [](const ProductTree& t) { t.Remove(t.sys_dir() + "/META_INFO/ProductVersionToDB.sql"); },
     "platform",
     {"ERROR [*]open file fail. file path:@/product/system/META_INFO/ProductVersionToDB.sql, "
      "errno_t:2.[FileBak.cpp(*)]",
      "ERROR [*]Open File Fail. file path:@/product/system/META_INFO/ProductVersionToDB.data, "
      "errno_t:2.[FileBak.cpp(*)]",
      "FATAL [*]ReadFile fail, path = @/product/system/META_INFO/ProductVersionToDB.sql" + kAt},
     {StepFailed("CheckScripts"), kCheckFailed},
     5},
    {"ScriptForAnotherPluginMissing",
     [](const ProductTree& t) { t.Remove(t.sys_dir() + "/META_INFO/inv/ev.sql"); },
     "inv",
     {"ERROR [*]Not exists sql file!@/product/system/META_INFO/inv/ev.sql" + kAt},
     {StepFailed("CheckScripts"), kCheckFailed},
     5},
    {"NulByte",
     [](const ProductTree& t) {
       t.Write(t.ScriptFile("inv", "create_tables.sql"),
               std::string("CREATE TABLE item(sku TEXT);\n-- \0\n", 33));
     },
     "inv",
     {"ERROR [*]sql file " + kInvScripts +
      "create_tables.sql holds a NUL byte at offset 32, not run" + kAt},
     {StepFailed("CheckScripts"), kCheckFailed},
     5},
    {"IncompleteStatement",
     [](const ProductTree& t) {
       t.Write(t.ScriptFile("inv", "init_data.sql"),
               "INSERT INTO item VALUES('a');\nINSERT INTO item\n  VALUES('b'\n");
     },
     "inv",
     {"ERROR [*]init_data fail,errorcode:1,errinfo:incomplete input" + kAt,
      "ERROR [*]" + kInvScripts +
          "init_data.sql failed at line 2: INSERT INTO item\\n  VALUES('b'" + kAt},
     {StepFailed("CheckScripts"), kCheckFailed},
     5},
    {"TriggerWithoutItsEnd",
     [](const ProductTree& t) {
       t.Write(t.ScriptFile("inv", "create_tables.sql"),
               "CREATE TABLE item(sku TEXT);\nCREATE TRIGGER t AFTER INSERT ON item BEGIN\n"
               "  SELECT 1;\n");
     },
     "inv",
     {"ERROR [*]create_table fail,errorcode:1,errinfo:incomplete input" + kAt,
      "ERROR [*]" + kInvScripts +
          "create_tables.sql failed at line 2: CREATE TRIGGER t AFTER INSERT ON item "
          "BEGIN\\n  SELECT 1;" +
          kAt},
     {StepFailed("CheckScripts"), kCheckFailed},
     5},
};

class CheckProblem : public ::testing::TestWithParam<ProblemCase> {};

// The check fails with the cause's lines, its own step lines and its closing
// line, and leaves the data directory as it was; the run then fails with the
// same cause.
TEST_P(CheckProblem, FailsWithTheLinesOfTheRun) {
  const ProblemCase& c = GetParam();
  ProductTree tree;
  WriteProduct(tree);
  c.prepare(tree);
  const Lines causes = WithPlaceholder(c.causes, tree.root());
  const std::string before = DirectorySnapshot(tree.data_dir());

  const RunResult check = tree.Run({"--check", c.plugin});
  EXPECT_EQ(check.exit_code, 1) << check.Dump();
  ASSERT_FALSE(check.log.empty());
  EXPECT_EQ(check.Lines().front(), kCheckStart);
  EXPECT_TRUE(CausesInOrder(check, causes));
  Lines steps = c.check_steps;
  steps.push_back("ERROR [main]CHECK Plinth FAILED. " + std::string(c.plugin) +
                  " plugin err_code:" + std::to_string(c.err_code) + ".[main.cpp(*)]");
  EXPECT_TRUE(InOrder(check, steps));
  EXPECT_EQ(check.Lines().back(), steps.back());
  EXPECT_EQ(DirectorySnapshot(tree.data_dir()), before);

  const RunResult run = tree.Run({c.plugin});
  EXPECT_EQ(run.exit_code, 1) << run.Dump();
  EXPECT_TRUE(CausesInOrder(run, causes));
}

INSTANTIATE_TEST_SUITE_P(Check, CheckProblem, ::testing::ValuesIn(kProblemCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace plinth_e2e
