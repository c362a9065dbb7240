// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// The database build through the real binary, checked against the files it
// leaves: the platform's run, an ordinary plug-in's run, encryption, settings,
// extension libraries, old files, scripts and the data directory.
#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <stdexcept>

#include "e2e/Harness.h"
#include "e2e/TestUtil.h"

namespace plinth_e2e {
namespace {

namespace fs = std::filesystem;

const std::string kCreate = "[plinth::CInitDBManager::CreateSQLiteDBFile]";
const std::string kPublic = "[plinth::CInitDBManager::CreatePublicSQLiteDBFile]";
const std::string kScripts = "[plinth::CInitDBManager::SQLiteDBInit]";
const std::string kRun = "[plinth::CInitDBManager::RunDBInit]";
const std::string kAt = "[InitDBManager.cpp(*)]";
const std::string kFailed5 = "ERROR [main]inv plugin Init FAILED.err_code:5.[main.cpp(*)]";

// An ordinary plug-in "inv" (schema inv, inv.db) with `extra` in its SQLite
// element and a create_tables.sql of `create_tables` (none when empty).
void AddInventory(const ProductTree& tree, const std::string& extra = "",
                  const std::string& create_tables = "") {
  tree.WriteDBConfig("inv", ProductTree::DBConfigBody("inv", "inv.db", extra));
  if (!create_tables.empty())
    tree.Write(tree.ScriptFile("inv", "create_tables.sql"), create_tables);
}

TEST(Build, PlatformRunBuildsPublicPlatformAndSpecialDatabases) {
  ProductTree tree;
  // Runs after the product version, on a connection with public attached
  // (which it sees afresh once it writes to it).
  tree.Write(tree.ScriptFile("platform", "create_tables.sql"),
             "CREATE TABLE copied AS SELECT version FROM product_version;"
             "CREATE TABLE public.labels AS SELECT label FROM public.dictionary;");
  tree.Write(tree.ScriptFile("event.s", "create_tables.sql"),
             "CREATE TABLE events(name TEXT, at TEXT DEFAULT (utc_now()));");
  tree.Write(tree.ScriptFile("event.s", "init_data.sql"),
             "INSERT INTO events(name) VALUES('boot');");

  const RunResult run = tree.Run({"platform"});
  ASSERT_EQ(run.exit_code, 0) << run.Dump();
  const std::string data = tree.data_dir();
  EXPECT_TRUE(InOrder(run, {"INFO " + kPublic + "db file full_path:" + data + "/public.db" + kAt,
                            "INFO " + kCreate + "db file full_path:" + data + "/platform.db" + kAt,
                            "WARN " + kScripts + "Not exists init_data.sql" + kAt,
                            "INFO " + kRun + "Init for special event.s." + kAt,
                            "INFO " + kCreate + "db file full_path:" + data + "/event.db" + kAt,
                            "INFO [main]RUN Plinth SUCCESS.[main.cpp(*)]"}));
  EXPECT_EQ(tree.Query("public.db", "SELECT code, label FROM dictionary;"), "a|Alpha\n");
  EXPECT_EQ(tree.Query("platform.db", "SELECT * FROM copied;"), "1.0\n");
  EXPECT_EQ(tree.Query("public.db", "SELECT * FROM labels;"), "Alpha\n");
  EXPECT_EQ(tree.Query("event.db", "SELECT name, length(at) FROM events;"), "boot|20\n");
  EXPECT_EQ(run.Find("not special plugin"), -1);
}

// Every connection is closed by the end of a successful run, the platform's own
// one too when the special plug-ins' builds take its place: in WAL mode a
// connection left open would leave its -wal and -shm files behind.
TEST(Build, SuccessfulRunLeavesNoWriteAheadLogs) {
  ProductTree tree;
  tree.WriteSQLiteConfig({{"key", kKey}, {"journal_mode", "WAL"}});
  tree.Write(tree.ScriptFile("event.s", "create_tables.sql"), "CREATE TABLE events(a);");
  const RunResult run = tree.Run({"platform"});
  ASSERT_EQ(run.exit_code, 0) << run.Dump();
  for (const char* file : {"public.db", "platform.db", "event.db"}) {
    EXPECT_TRUE(tree.Exists(tree.data_dir() + "/" + file)) << file;
    EXPECT_FALSE(tree.Exists(tree.data_dir() + "/" + file + std::string("-wal"))) << file;
    EXPECT_FALSE(tree.Exists(tree.data_dir() + "/" + file + std::string("-shm"))) << file;
  }
  EXPECT_EQ(tree.Query("platform.db", "PRAGMA journal_mode;"), "wal\n");
}

TEST(Build, DataDirectoryIsCreatedSilently) {
  ProductTree tree;
  const RunResult run = tree.Run({"platform"});
  ASSERT_EQ(run.exit_code, 0) << run.Dump();
  EXPECT_EQ(run.Find("data_path aleady exists"), -1);
  EXPECT_TRUE(tree.Exists("data/public.db"));
}

TEST(Build, PlatformDatabaseHasPublicAttachedButNotPlatform) {
  ProductTree tree;
  tree.WriteDBConfig("platform", ProductTree::DBConfigBody("sys", "platform.db"));
  tree.Write(tree.ScriptFile("platform", "create_tables.sql"),
             "CREATE TABLE public.from_platform(a); CREATE TABLE sys.own(a);");
  tree.Write(tree.ScriptFile("platform", "init_data.sql"), "CREATE TABLE platform.nope(a);");
  const RunResult run = tree.Run({"platform"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_TRUE(InOrder(run, {"ERROR " + kScripts +
                                "init_data fail,errorcode:1,errinfo:unknown "
                                "database platform" +
                                kAt,
                            "ERROR " + kScripts + tree.ScriptFile("platform", "init_data.sql") +
                                " failed at line 1: CREATE TABLE platform.nope(a);" + kAt,
                            "ERROR " + kRun + "SQLiteDBInit fail" + kAt}));
  const std::string tables = "SELECT name FROM sqlite_master WHERE type = 'table';";
  EXPECT_EQ(tree.Query("public.db", tables), "dictionary\nfrom_platform\n");
  EXPECT_EQ(tree.Query("platform.db", tables), "product_version\nown\n");
}

TEST(Build, OrdinaryPluginRunsItsScriptsAndThoseForEventS) {
  ProductTree tree;
  tree.WriteSQLiteConfig({{"key", kKey}, {"user_version", "7"}});
  tree.Write(tree.ScriptFile("event.s", "create_tables.sql"), "CREATE TABLE events(name TEXT);");
  ASSERT_EQ(tree.Run({"platform"}).exit_code, 0);
  // The settings reach only a database that is created: event.db keeps 0.
  ASSERT_EQ(tree.Query("event.db", "PRAGMA user_version = 0;"), "");

  AddInventory(tree,
               "<LoadPublicFuncDLL>1</LoadPublicFuncDLL>" +
                   ProductTree::EventSScripts(
                       "<Path>META_INFO/inv/ev1.sql</Path><Path>META_INFO/inv/ev2.sql</Path>"),
               "CREATE TABLE seen AS SELECT (SELECT count(*) FROM public.dictionary) AS d,"
               " (SELECT version FROM platform.product_version) AS v, length(uuid()) AS u;");
  tree.Write(tree.sys_dir() + "/META_INFO/inv/ev1.sql",
             "INSERT INTO events SELECT 'inv ' || label FROM public.dictionary;");
  tree.Write(tree.sys_dir() + "/META_INFO/inv/ev2.sql",
             "INSERT INTO events SELECT 'version ' || version FROM platform.product_version;"
             "INSERT INTO events SELECT 'uuid ' || length(uuid());");
  const RunResult run = tree.Run({"inv"});
  ASSERT_EQ(run.exit_code, 0) << run.Dump();
  EXPECT_EQ(tree.Query("inv.db", "SELECT * FROM seen; PRAGMA user_version;"), "1|1.0|36\n7\n");
  EXPECT_EQ(tree.Query("event.db", "SELECT name FROM events; PRAGMA user_version;"),
            "inv Alpha\nversion 1.0\nuuid 36\n0\n");
  // The settings walk ran once, for inv.db alone.
  const Lines lines = run.Lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(),
                       "INFO " + kCreate + "conf_sql:PRAGMA \"user_version\" = \"7\";." + kAt),
            1);
}

TEST(Build, SpecialPluginNotNamedIsSkippedWithANotice) {
  ProductTree tree;
  ASSERT_EQ(tree.Run({"platform"}).exit_code, 0);
  tree.WriteDBConfig(
      "inv",
      ProductTree::DBConfigBody(
          "inv", "inv.db",
          "<DBInitForOtherPlugins><Plugin><Identify>other.s</Identify><SQLScript><Path>x.sql</Path>"
          "</SQLScript></Plugin></DBInitForOtherPlugins>"));
  const RunResult run = tree.Run({"inv"});
  EXPECT_EQ(run.exit_code, 0) << run.Dump();
  EXPECT_TRUE(run.Has("WARN " + kCreate + "event.s not special plugin!continue!" + kAt));
}

TEST(Build, ScriptsForEventSMustExist) {
  ProductTree tree;
  AddInventory(tree, ProductTree::EventSScripts("<Path>META_INFO/inv/missing.sql</Path>"));
  const RunResult run = tree.Run({"inv"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_TRUE(InOrder(run, {"ERROR " + kScripts + "Not exists sql file!" + tree.sys_dir() +
                                "/META_INFO/inv/missing.sql" + kAt,
                            "ERROR " + kRun + "SQLiteDBInit fail" + kAt, kFailed5}));
}

// The key as SQLiteConfig.xml holds it, and as SQLite is given it.
struct KeyCase {
  const char* name;
  std::string in_settings;
  std::string in_sql;
  friend void PrintTo(const KeyCase& c, std::ostream* os) { *os << c.name; }
};

const KeyCase kKeyCases[] = {
    {"PlainKey", kKey, kKey},
    {"KeyWithAQuote", "it&apos;s &quot;quoted&quot;", "it''s \"quoted\""},
};

class Encryption : public ::testing::TestWithParam<KeyCase> {};

TEST_P(Encryption, DatabasesAreEncryptedWithTheConfiguredKey) {
  const KeyCase& c = GetParam();
  ProductTree tree;
  tree.WriteSQLiteConfig({{"key", c.in_settings}});
  tree.Write(tree.ScriptFile("event.s", "create_tables.sql"), "CREATE TABLE events(a);");
  const RunResult run = tree.Run({"platform"});
  ASSERT_EQ(run.exit_code, 0) << run.Dump();
  for (const char* file : {"public.db", "platform.db", "event.db"}) {
    EXPECT_EQ(tree.Query(file, "SELECT count(*) FROM sqlite_master;", ""),
              std::string("error: ") + sqlite3_errstr(SQLITE_NOTADB))
        << file;
    EXPECT_EQ(tree.Query(file, "SELECT count(*) > 0 FROM sqlite_master;", c.in_sql), "1\n") << file;
  }
}

INSTANTIATE_TEST_SUITE_P(Build, Encryption, ::testing::ValuesIn(kKeyCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Build, WithoutAKeyTheFilesArePlain) {
  ProductTree tree;
  tree.WriteSQLiteConfig({{"key", ""}, {"cache_size", "-1000"}});
  const RunResult run = tree.Run({"platform"});
  ASSERT_EQ(run.exit_code, 0) << run.Dump();
  EXPECT_EQ(tree.Query("public.db", "SELECT code FROM dictionary;", ""), "a\n");
  EXPECT_EQ(tree.Query("platform.db", "SELECT version FROM product_version;", ""), "1.0\n");
  EXPECT_EQ(run.Find("db file need encrypt"), -1);
}

TEST(Build, KeyIsRefusedByASqliteThatDoesNotEncrypt) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "a preloaded library cannot come before the sanitizer's runtime";
#else
  const char* plain = "/usr/lib/x86_64-linux-gnu/libsqlite3.so.0";
  ProductTree tree;
  if (!tree.Exists(plain)) GTEST_SKIP() << "no plain SQLite library at " << plain;
  const RunResult run = tree.Run({"platform"}, {std::string("LD_PRELOAD=") + plain});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_TRUE(InOrder(run, {"ERROR " + kPublic +
                                "the SQLite library does not encrypt (no answer "
                                "to PRAGMA cipher_version), " +
                                tree.data_dir() + "/public.db is not keyed" + kAt,
                            "FATAL " + kCreate + "CreatePublicSQLiteDBFile fail" + kAt}));
  EXPECT_EQ(tree.Read(tree.data_dir() + "/public.db"), "");
#endif
}

// A library that takes the key and applies it nowhere: the files are
// looked at once their connections are closed, and the run fails.
TEST(Build, KeyThatIsNotAppliedFailsTheRun) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "a preloaded library cannot come before the sanitizer's runtime";
#else
  ProductTree tree;
  const RunResult run = tree.Run({"platform"}, {std::string("LD_PRELOAD=") + KEYLESS_SQLCIPHER});
  EXPECT_EQ(run.exit_code, 1);
  const std::string verify = "ERROR [plinth::CInitDBManager::VerifyEncryption]" + tree.data_dir();
  const std::string plain = " reads without the key: it is not encrypted" + kAt;
  EXPECT_TRUE(InOrder(
      run, {"INFO [main]platform Init.[main.cpp(*)]", verify + "/platform.db" + plain,
            verify + "/public.db" + plain, verify + "/event.db" + plain,
            "ERROR [plinth::CExecuteInit::ExecInitDB]encryption check failed![ExecuteInit.cpp(*)]",
            "ERROR [main]platform plugin Init FAILED.err_code:5.[main.cpp(*)]"}))
      << run.Dump();
  EXPECT_EQ(run.Find("RUN Plinth SUCCESS"), -1);
  EXPECT_EQ(tree.Query("public.db", "SELECT code FROM dictionary;", ""), "a\n");
#endif
}

// A file that a script attaches itself, without a key, and leaves attached
// is the script's: the check covers the files the run keys.
TEST(Build, FileAScriptAttachesWithoutAKeyIsNotChecked) {
  ProductTree tree;
  tree.WriteSQLiteConfig({{"key", kKey}, {"kdf_iter", "1000"}});
  const std::string export_db = tree.Path("export.db");
  tree.Write(
      tree.ScriptFile("platform", "create_tables.sql"),
      "ATTACH '" + export_db + "' AS e KEY '';\nCREATE TABLE e.t(a);\nINSERT INTO e.t VALUES(1);");
  const RunResult run = tree.Run({"platform"});
  ASSERT_EQ(run.exit_code, 0) << run.Dump();
  EXPECT_EQ(tree.Query(export_db, "SELECT a FROM t;", ""), "1\n");
}

TEST(Build, SettingsRunInNameOrderAndTheFirstFailureStops) {
  ProductTree tree;
  tree.WriteSQLiteConfig({{"user_version", "5"},
                          {"temp_store_directory", "/nonexistent/dir"},
                          {"journal_mode", "WAL"},
                          {"cache_size", "-3000"},
                          {"key", kKey}});
  AddInventory(tree);
  const RunResult run = tree.Run({"inv"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_TRUE(
      InOrder(run, {"INFO " + kCreate + "conf_sql:PRAGMA \"cache_size\" = \"-3000\";." + kAt,
                    "INFO " + kCreate + "conf_sql:PRAGMA \"journal_mode\" = \"WAL\";." + kAt,
                    "INFO " + kCreate +
                        "conf_sql:PRAGMA \"temp_store_directory\" = \"/nonexistent/dir\";." + kAt,
                    "ERROR " + kCreate +
                        "sqlite config set fail,sql:PRAGMA \"temp_store_directory\" = "
                        "\"/nonexistent/dir\";,errorcode:1,errinfo:not a writable directory" +
                        kAt,
                    "ERROR " + kRun + "CreateSQLiteDBFile fail" + kAt, kFailed5}));
  EXPECT_EQ(run.Find("conf_sql:PRAGMA \"user_version\""), -1);
  EXPECT_EQ(tree.Query("inv.db", "PRAGMA journal_mode; PRAGMA user_version;"), "wal\n0\n");
}

// The extension libraries of a plug-in's run: how the tree is prepared, the
// plug-in run, and the lines that must follow in this order ("@" stands for
// the system directory).
struct ExtensionCase {
  const char* name;
  std::function<void(const ProductTree&)> prepare;
  const char* run;
  int exit_code;
  Lines lines;
  Lines not_logged;  // texts that no line may hold
  friend void PrintTo(const ExtensionCase& c, std::ostream* os) { *os << c.name; }
};

void AddInventoryWithOwnLibrary(const ProductTree& tree, const std::string& library) {
  AddInventory(tree, "<SQLiteFuncDLL><Name>" + library + "</Name></SQLiteFuncDLL>");
}

void RemoveSharedLibrary(const ProductTree& tree) {
  tree.Remove(tree.sys_dir() + "/public.func.sqlite.so");
}

// Builds everything once, then makes the library `file` of the system
// directory a FIFO, on which the loader would wait forever.
void FifoAfterABuild(const ProductTree& tree, const std::string& file) {
  if (tree.Run({"platform"}).exit_code != 0 || tree.Run({"inv"}).exit_code != 0) {
    throw std::runtime_error("the first build failed");
  }
  tree.Remove(tree.sys_dir() + "/" + file);
  if (::mkfifo((tree.sys_dir() + "/" + file).c_str(), 0644) != 0) {
    throw std::runtime_error("mkfifo");
  }
}

const std::string kChecks = "[plinth::CInitDBManager::CheckExtensionLibraries]";

// SQLite tries a name with ".so" appended too, and reports that attempt.
const std::string kSharedLibraryMissing =
    "errorcode:1,errinfo:@/public.func.sqlite.so.so: cannot open shared object file: No such "
    "file or directory" +
    kAt;

const ExtensionCase kExtensionCases[] = {
    {"SharedFunctionsNotLoaded",
     [](const ProductTree& t) {
       AddInventory(t, "<LoadPublicFuncDLL>0</LoadPublicFuncDLL>",
                    "CREATE TABLE ids AS SELECT uuid() AS id;");
     },
     "inv",
     1,
     {"ERROR " + kScripts + "create_table fail,errorcode:1,errinfo:no such function: uuid" + kAt,
      "ERROR " + kScripts +
          "@/META_INFO/inv/runtime_script/db_init/SQLite/create_tables.sql failed at line 1: "
          "CREATE TABLE ids AS SELECT uuid() AS id;" +
          kAt},
     {}},
    {"SharedFunctionsLoadedByDefault",
     [](const ProductTree& t) { AddInventory(t, "", "CREATE TABLE ids AS SELECT uuid() AS id;"); },
     "inv",
     0,
     {},
     {}},
    {"SharedLibraryMissingForThePublicDatabase",
     RemoveSharedLibrary,
     "platform",
     1,
     {"ERROR " + kPublic + "sqlite3_load_extension key fail," + kSharedLibraryMissing,
      "FATAL " + kCreate + "CreatePublicSQLiteDBFile fail" + kAt,
      "ERROR " + kRun + "CreateSQLiteDBFile fail" + kAt},
     {}},
    {"OwnLibraryMissing",
     [](const ProductTree& t) { AddInventoryWithOwnLibrary(t, "inv.func.sqlite.so"); },
     "inv",
     0,
     {"WARN " + kCreate + "Not exists func.sqlite.dll!" + kAt},
     {}},
    // The shared library is loaded before the plug-in's own one is looked
    // for: when it fails, the own library's absence goes unmentioned.
    {"BothLibrariesMissing",
     [](const ProductTree& t) {
       RemoveSharedLibrary(t);
       AddInventoryWithOwnLibrary(t, "inv.func.sqlite.so");
     },
     "inv",
     1,
     {"ERROR " + kCreate + "sqlite3_load_extension fail," + kSharedLibraryMissing,
      "ERROR " + kRun + "CreateSQLiteDBFile fail" + kAt, kFailed5},
     {"Not exists func.sqlite.dll!"}},
    {"OwnLibraryRefusesToLoad",
     [](const ProductTree& t) {
       t.InstallExtension("failing.func.sqlite.so");
       AddInventoryWithOwnLibrary(t, "failing.func.sqlite.so");
     },
     "inv",
     1,
     {"ERROR " + kCreate +
          "sqlite3_load_extension fail,errorcode:1,errinfo:error during initialization: "
          "failing.func.sqlite refuses to load" +
          kAt,
      "ERROR " + kRun + "CreateSQLiteDBFile fail" + kAt, kFailed5},
     {}},
    // Found before any file is removed or created.
    {"SharedLibraryIsAFifo",
     [](const ProductTree& t) {
       AddInventory(t);
       FifoAfterABuild(t, "public.func.sqlite.so");
     },
     "platform",
     1,
     {"ERROR " + kChecks + "extension library @/public.func.sqlite.so is not a regular file" + kAt,
      "ERROR " + kRun + "CheckExtensionLibraries fail" + kAt},
     {"aleady exists remove", "full_path"}},
    {"OwnLibraryIsAFifo",
     [](const ProductTree& t) {
       AddInventoryWithOwnLibrary(t, "inv.func.sqlite.so");
       FifoAfterABuild(t, "inv.func.sqlite.so");
     },
     "inv",
     1,
     {"ERROR " + kChecks + "extension library @/inv.func.sqlite.so is not a regular file" + kAt,
      "ERROR " + kRun + "CheckExtensionLibraries fail" + kAt, kFailed5},
     {"aleady exists remove", "full_path"}},
    {"SpecialPluginsLibraryIsAFifo",
     [](const ProductTree& t) {
       AddInventory(t);
       t.WriteDBConfig("event.s", ProductTree::DBConfigBody(
                                      "event", "event.db",
                                      "<SQLiteFuncDLL><Name>ev.so</Name></SQLiteFuncDLL>"));
       FifoAfterABuild(t, "ev.so");
     },
     "platform",
     1,
     {"ERROR " + kChecks + "extension library @/ev.so is not a regular file" + kAt},
     {"aleady exists remove", "full_path"}},
    {"OwnLibraryLoads",
     [](const ProductTree& t) {
       t.InstallExtension("inventory.func.sqlite.so");
       AddInventoryWithOwnLibrary(t, "inventory.func.sqlite.so");
     },
     "inv",
     0,
     {},
     {}},
};

class ExtensionLibrary : public ::testing::TestWithParam<ExtensionCase> {};

TEST_P(ExtensionLibrary, Outcome) {
  const ExtensionCase& c = GetParam();
  ProductTree tree;
  c.prepare(tree);
  const RunResult run = tree.Run({c.run});
  EXPECT_EQ(run.exit_code, c.exit_code) << run.Dump();
  EXPECT_TRUE(InOrder(run, WithPlaceholder(c.lines, tree.sys_dir())));
  for (const std::string& text : c.not_logged) EXPECT_EQ(run.Find(text), -1) << text;
}

INSTANTIATE_TEST_SUITE_P(Build, ExtensionLibrary, ::testing::ValuesIn(kExtensionCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Build, OldFilesAreReplaced) {
  ProductTree tree;
  AddInventory(tree, "", "CREATE TABLE fresh(a);");
  for (const char* file : {"inv.db", "inv.db-shm", "inv.db-wal"}) {
    tree.Write(tree.data_dir() + "/" + file, "left over");
  }
  RunResult run = tree.Run({"inv"});
  ASSERT_EQ(run.exit_code, 0) << run.Dump();
  EXPECT_TRUE(InOrder(run, {"INFO " + kCreate + "inv.db aleady exists remove." + kAt,
                            "INFO " + kCreate + "inv.db dir_shm aleady exists remove." + kAt,
                            "INFO " + kCreate + "inv.db dir_wal aleady exists remove." + kAt}));
  EXPECT_EQ(tree.Query("inv.db", "SELECT name FROM sqlite_master;"), "fresh\n");
  EXPECT_FALSE(tree.Exists(tree.data_dir() + "/inv.db-shm"));

  tree.Write(tree.data_dir() + "/public.db-wal", "left over");
  run = tree.Run({"platform"});
  ASSERT_EQ(run.exit_code, 0) << run.Dump();
  // inv's attach created an empty public.db in the place of the missing one.
  EXPECT_TRUE(InOrder(run, {"INFO " + kPublic + "public.db aleady exists remove." + kAt,
                            "INFO " + kPublic + "public.db dir_wal aleady exists remove." + kAt}));
}

// A symbolic link where the database or a companion of it will be: the run
// removes the link itself and creates a regular file in the data directory,
// and what the link points to stays as it was.
struct LinkCase {
  const char* name;
  const char* run;
  const char* file;    // in the data directory
  const char* target;  // relative to the tree's root; "" for the link itself
  bool target_exists;
  std::string notice;
  const char* database;  // the database the run creates in the link's place, or beside it
  friend void PrintTo(const LinkCase& c, std::ostream* os) { *os << c.name; }
};

const LinkCase kLinkCases[] = {
    {"DanglingLinkAsTheDatabase", "inv", "inv.db", "outside/inv.db", false,
     "INFO " + kCreate + "inv.db aleady exists remove." + kAt, "inv.db"},
    {"LinkToAFileOutside", "inv", "inv.db", "outside/precious", true,
     "INFO " + kCreate + "inv.db aleady exists remove." + kAt, "inv.db"},
    {"LinkToItself", "inv", "inv.db", "", false,
     "INFO " + kCreate + "inv.db aleady exists remove." + kAt, "inv.db"},
    {"DanglingLinkAsTheWriteAheadLog", "inv", "inv.db-wal", "outside/inv.db-wal", false,
     "INFO " + kCreate + "inv.db dir_wal aleady exists remove." + kAt, "inv.db"},
    {"LinkToAFileOutsideAsTheSharedMemory", "inv", "inv.db-shm", "outside/precious", true,
     "INFO " + kCreate + "inv.db dir_shm aleady exists remove." + kAt, "inv.db"},
    {"DanglingLinkAsThePublicDatabase", "platform", "public.db", "outside/public.db", false,
     "INFO " + kPublic + "public.db aleady exists remove." + kAt, "public.db"},
};

class LinkAtDatabasePath : public ::testing::TestWithParam<LinkCase> {};

TEST_P(LinkAtDatabasePath, IsReplacedByARegularFile) {
  const LinkCase& c = GetParam();
  ProductTree tree;
  // In WAL mode SQLite opens the -wal and -shm files too.
  tree.WriteSQLiteConfig({{"key", kKey}, {"journal_mode", "WAL"}});
  AddInventory(tree);
  const std::string link = tree.data_dir() + "/" + c.file;
  const std::string target = *c.target != '\0' ? tree.Path(c.target) : link;
  if (c.target_exists) tree.Write(target, "precious");
  fs::create_directories(tree.data_dir());
  fs::create_symlink(target, link);
  const std::string outside = DirectorySnapshot(tree.Path("outside"));

  const RunResult run = tree.Run({c.run});
  ASSERT_EQ(run.exit_code, 0) << run.Dump();
  EXPECT_TRUE(run.Has(c.notice)) << run.Dump();
  EXPECT_NE(fs::symlink_status(link).type(), fs::file_type::symlink);
  // What the link points to stays as it was: there, or not there.
  EXPECT_EQ(DirectorySnapshot(tree.Path("outside")), outside);
  EXPECT_EQ(fs::symlink_status(tree.data_dir() + "/" + c.database).type(), fs::file_type::regular);
  EXPECT_EQ(tree.Query(c.database, "SELECT count(*) >= 0 FROM sqlite_master;"), "1\n");
}

INSTANTIATE_TEST_SUITE_P(Build, LinkAtDatabasePath, ::testing::ValuesIn(kLinkCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Build, RemovalThatFailsStopsTheRun) {
  ProductTree tree;
  AddInventory(tree);
  tree.Write(tree.data_dir() + "/inv.db-wal/inside", "a directory with a file in it");
  const RunResult run = tree.Run({"inv"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_TRUE(
      InOrder(run, {"INFO " + kCreate + "inv.db dir_wal aleady exists remove." + kAt,
                    "FATAL " + kCreate + "remove inv.db fail,errinfo:Directory not empty" + kAt,
                    "ERROR " + kRun + "CreateSQLiteDBFile fail" + kAt}));
}

// Script outcomes that differ only in the files laid out.
struct ScriptCase {
  const char* name;
  std::vector<std::pair<std::string, std::string>> files;  // below the scripts directory
  int exit_code;
  Lines lines;         // with "@" for the scripts directory
  std::string tables;  // tables of inv.db afterwards
  friend void PrintTo(const ScriptCase& c, std::ostream* os) { *os << c.name; }
};

const ScriptCase kScriptCases[] = {
    {"NoScripts",
     {},
     0,
     {"WARN " + kScripts + "Not exists create_tables.sql" + kAt,
      "WARN " + kScripts + "Not exists init_data.sql" + kAt},
     ""},
    {"BothScriptsInOrder",
     {{"create_tables.sql", "CREATE TABLE t(a);"}, {"init_data.sql", "INSERT INTO t VALUES(1);"}},
     0,
     {},
     "t\n"},
    {"EmptyScriptWithoutBackup",
     {{"create_tables.sql", ""}},
     1,
     {"ERROR [plinth::CFileBak::ReadFile]Open File Fail. file path:@/create_tables.data, "
      "errno_t:2.[FileBak.cpp(*)]",
      "FATAL " + kScripts + "ReadFile fail, path = @/create_tables.sql" + kAt,
      "ERROR " + kRun + "SQLiteDBInit fail" + kAt},
     ""},
    {"EmptyScriptRunsItsBackup",
     {{"create_tables.sql", ""}, {"create_tables.data", "CREATE TABLE from_backup(a);\n\n"}},
     0,
     {},
     "from_backup\n"},
    {"DirectoryNamedLikeTheScript",
     {{"create_tables.sql/x", "x"}},
     1,
     {"ERROR [plinth::CFileBak::ReadFile]open file fail. file path:@/create_tables.sql, "
      "errno_t:21.[FileBak.cpp(*)]",
      "FATAL " + kScripts + "ReadFile fail, path = @/create_tables.sql" + kAt},
     ""},
    {"DirectoryNamedLikeTheScriptWithBackup",
     {{"create_tables.sql/x", "x"}, {"create_tables.data", "CREATE TABLE b(a);"}},
     0,
     {},
     "b\n"},
    {"ThirdStatementFails",
     {{"create_tables.sql",
       "CREATE TABLE one(a);\nCREATE TABLE two(a);\nINSERT INTO nope VALUES(1);\n"
       "CREATE TABLE four(a);"}},
     1,
     {"ERROR " + kScripts + "create_table fail,errorcode:1,errinfo:no such table: nope" + kAt,
      "ERROR " + kScripts + "@/create_tables.sql failed at line 3: INSERT INTO nope VALUES(1);" +
          kAt,
      "ERROR " + kRun + "SQLiteDBInit fail" + kAt, kFailed5},
     "one\ntwo\n"},
    {"InitDataFails",
     {{"init_data.sql", "INSERT INTO nope VALUES(1);"}},
     1,
     {"WARN " + kScripts + "Not exists create_tables.sql" + kAt,
      "ERROR " + kScripts + "init_data fail,errorcode:1,errinfo:no such table: nope" + kAt,
      "ERROR " + kScripts + "@/init_data.sql failed at line 1: INSERT INTO nope VALUES(1);" + kAt},
     ""},
    {"NulByteStopsTheScript",
     {{"create_tables.sql", std::string("CREATE TABLE one(a);\0CREATE TABLE two(a);", 41)}},
     1,
     {"ERROR " + kScripts + "sql file @/create_tables.sql holds a NUL byte at offset 20, not run" +
          kAt,
      "ERROR " + kRun + "SQLiteDBInit fail" + kAt},
     ""},
    {"NulByteInALaterBlockStopsTheScript",
     {{"create_tables.sql", "CREATE TABLE one(a);" + std::string(100000, '\n') + '\0'}},
     1,
     {"ERROR " + kScripts +
          "sql file @/create_tables.sql holds a NUL byte at offset 100020, not run" + kAt,
      "ERROR " + kRun + "SQLiteDBInit fail" + kAt},
     ""},
    {"ByteOrderMarkIsSkipped",
     {{"create_tables.sql",
       "\xEF\xBB\xBF"
       "CREATE TABLE bom(a);"}},
     0,
     {},
     "bom\n"},
};

class Script : public ::testing::TestWithParam<ScriptCase> {};

TEST_P(Script, Outcome) {
  const ScriptCase& c = GetParam();
  ProductTree tree;
  AddInventory(tree);
  const std::string dir = tree.ScriptFile("inv", "");
  for (const auto& [name, content] : c.files) tree.Write(dir + name, content);
  const RunResult run = tree.Run({"inv"});
  EXPECT_EQ(run.exit_code, c.exit_code) << run.Dump();
  EXPECT_TRUE(InOrder(run, WithPlaceholder(c.lines, dir.substr(0, dir.size() - 1))));
  EXPECT_EQ(tree.Query("inv.db", "SELECT name FROM sqlite_master ORDER BY rowid;"), c.tables);
}

INSTANTIATE_TEST_SUITE_P(Build, Script, ::testing::ValuesIn(kScriptCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A script whose existence cannot be told (here a link to itself: a loop)
// is not taken for a missing one: the build fails.
struct UntoldScript {
  const char* name;
  std::string extra;  // in inv's SQLite element
  std::function<std::string(const ProductTree&)> script;
  const char* not_logged;  // the notice of a missing script
  friend void PrintTo(const UntoldScript& c, std::ostream* os) { *os << c.name; }
};

const UntoldScript kUntoldScripts[] = {
    {"CreateTables", "",
     [](const ProductTree& t) { return t.ScriptFile("inv", "create_tables.sql"); },
     "Not exists create_tables.sql"},
    {"InitData", "", [](const ProductTree& t) { return t.ScriptFile("inv", "init_data.sql"); },
     "Not exists init_data.sql"},
    {"ForEventS", ProductTree::EventSScripts("<Path>META_INFO/inv/ev.sql</Path>"),
     [](const ProductTree& t) { return t.sys_dir() + "/META_INFO/inv/ev.sql"; },
     "Not exists sql file!"},
};

class ScriptWhoseExistenceCannotBeTold : public ::testing::TestWithParam<UntoldScript> {};

TEST_P(ScriptWhoseExistenceCannotBeTold, FailsTheBuild) {
  const UntoldScript& c = GetParam();
  ProductTree tree;
  AddInventory(tree, c.extra);
  ASSERT_EQ(tree.Run({"platform"}).exit_code, 0);
  const std::string script = c.script(tree);
  fs::create_directories(fs::path(script).parent_path());
  fs::create_symlink(script, script);
  const RunResult run = tree.Run({"inv"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_TRUE(InOrder(run, {"ERROR " + kScripts + "cannot tell whether " + script +
                                " exists,errinfo:Too many levels of symbolic links" + kAt,
                            "ERROR " + kRun + "SQLiteDBInit fail" + kAt, kFailed5}));
  EXPECT_EQ(run.Find(c.not_logged), -1);
}

INSTANTIATE_TEST_SUITE_P(Build, ScriptWhoseExistenceCannotBeTold,
                         ::testing::ValuesIn(kUntoldScripts),
                         [](const auto& info) { return std::string(info.param.name); });

// The platform's scripts that are not tested for existence: a missing one
// fails the run. "@" stands for the script's path.
struct RequiredScript {
  const char* name;
  std::function<std::string(const ProductTree&)> script;
  Lines lines;
  friend void PrintTo(const RequiredScript& c, std::ostream* os) { *os << c.name; }
};

const RequiredScript kRequiredScripts[] = {
    {"ProductVersion",
     [](const ProductTree& t) { return t.sys_dir() + "/META_INFO/ProductVersionToDB.sql"; },
     {"FATAL " + kScripts + "ReadFile fail, path = @" + kAt,
      "ERROR " + kRun + "SQLiteDBInit fail" + kAt}},
    {"PublicData",
     [](const ProductTree& t) {
       return t.bin_dir() + "/META_INFO/db_init/SQLite/create_public_data.sql";
     },
     {"FATAL [plinth::CInitDBManager::SQLitePublicDBInit]ReadFile fail, path = @" + kAt,
      "FATAL " + kScripts + "SQLitePublicDBInit fail" + kAt}},
};

class PlatformScriptMissing : public ::testing::TestWithParam<RequiredScript> {};

TEST_P(PlatformScriptMissing, FailsTheRun) {
  ProductTree tree;
  const std::string script = GetParam().script(tree);
  tree.Remove(script);
  const RunResult run = tree.Run({"platform"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_TRUE(InOrder(run, WithPlaceholder(GetParam().lines, script)));
}

INSTANTIATE_TEST_SUITE_P(Build, PlatformScriptMissing, ::testing::ValuesIn(kRequiredScripts),
                         [](const auto& info) { return std::string(info.param.name); });

// The same two scripts, present but failing: the run fails with the script's
// own line and its caller's.
const RequiredScript kFailingScripts[] = {
    {"ProductVersion",
     [](const ProductTree& t) { return t.sys_dir() + "/META_INFO/ProductVersionToDB.sql"; },
     {"ERROR " + kScripts + "ProductVersionToDB exec fail,errorcode:1,errinfo:no such table: nope" +
          kAt,
      "ERROR " + kRun + "SQLiteDBInit fail" + kAt}},
    {"PublicData",
     [](const ProductTree& t) {
       return t.bin_dir() + "/META_INFO/db_init/SQLite/create_public_data.sql";
     },
     {"ERROR [plinth::CInitDBManager::SQLitePublicDBInit]create_public_data.sql exec "
      "fail,errorcode:1,errinfo:no such table: nope" +
          kAt,
      "FATAL " + kScripts + "SQLitePublicDBInit fail" + kAt}},
};

class PlatformScriptFailing : public ::testing::TestWithParam<RequiredScript> {};

TEST_P(PlatformScriptFailing, FailsTheRun) {
  ProductTree tree;
  tree.Write(GetParam().script(tree), "SELECT * FROM nope;\n");
  const RunResult run = tree.Run({"platform"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_TRUE(InOrder(run, GetParam().lines));
}

INSTANTIATE_TEST_SUITE_P(Build, PlatformScriptFailing, ::testing::ValuesIn(kFailingScripts),
                         [](const auto& info) { return std::string(info.param.name); });

// A special plug-in whose database cannot be prepared fails the platform's
// run.
TEST(Build, SpecialPluginWhoseDatabaseCannotBePreparedFailsThePlatformRun) {
  ProductTree tree;
  tree.WriteDBConfig("event.s",
                     ProductTree::DBConfigBody(
                         "event", "event.db",
                         "<SQLiteFuncDLL><Name>broken.func.sqlite.so</Name></SQLiteFuncDLL>"));
  tree.Write(tree.sys_dir() + "/broken.func.sqlite.so", "not a shared library\n");
  const RunResult run = tree.Run({"platform"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.Find("]sqlite3_load_extension fail,errorcode:1,errinfo:" + tree.sys_dir() +
                     "/broken.func.sqlite.so"),
            -1)
      << run.Dump();
  EXPECT_TRUE(InOrder(run, {"ERROR " + kRun + "CreateSQLiteDBFile for special event.s fail" + kAt}))
      << run.Dump();
}

// A schema name SQLite already uses on the connection cannot be attached.
TEST(Build, SchemaNameInUseFailsTheAttach) {
  ProductTree tree;
  tree.WriteDBConfig("inv", ProductTree::DBConfigBody("main", "inv.db"));
  ASSERT_EQ(tree.Run({"platform"}).exit_code, 0);
  const RunResult run = tree.Run({"inv"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_TRUE(InOrder(run, {"ERROR [plinth::CInitDBManager::CreateSQLiteDBFile]attach database "
                            "fail,errorcode:1,errinfo:database main is already in use" +
                            kAt}))
      << run.Dump();
}

TEST(Build, DataDirectoryThatIsAFile) {
  ProductTree tree;
  tree.Write(tree.data_dir(), "a file");
  const RunResult run = tree.Run({"platform"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_TRUE(InOrder(
      run,
      {"INFO [plinth::CInitDBManager::CreateDataDir]data_path aleady exists." + kAt,
       "ERROR " + kPublic + "sqlite3_open fail,errinfo:" + sqlite3_errstr(SQLITE_CANTOPEN) + kAt,
       "FATAL " + kCreate + "CreatePublicSQLiteDBFile fail" + kAt}));
  EXPECT_EQ(tree.Read(tree.data_dir()), "a file");
}

TEST(Build, DataDirectoryWhoseParentIsMissing) {
  ProductTree tree;
  tree.WriteInitSetup(tree.Path("missing/data"), tree.sys_dir());
  const RunResult run = tree.Run({"platform"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_TRUE(InOrder(run, {"FATAL [plinth::CInitDBManager::CreateDataDir]create_directory fail,"
                            "errinfo:No such file or directory" +
                                kAt,
                            "ERROR " + kRun + "CreateDataDir fail" + kAt}));
}

TEST(Build, DataDirectoryWithAQuoteAndNonAsciiCharactersInItsName) {
  ProductTree tree;
  const std::string data = tree.Path("data o'dir \xC3\xA9");
  tree.WriteInitSetup(data, tree.sys_dir());
  AddInventory(tree, "", "CREATE TABLE t AS SELECT count(*) AS n FROM public.dictionary;");
  ASSERT_EQ(tree.Run({"platform"}).exit_code, 0);
  const RunResult run = tree.Run({"inv"});
  ASSERT_EQ(run.exit_code, 0) << run.Dump();
  EXPECT_EQ(tree.Query(data + "/inv.db", "SELECT n FROM t;"), "1\n");
}

}  // namespace
}  // namespace plinth_e2e
