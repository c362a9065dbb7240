// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
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
    {"DBConfigWithReferenceToNul",
     [](const ProductTree& t) {
       t.WriteDBConfig("inv", ProductTree::DBConfigBody("inv", "inv.db&#0;x"));
     },
     [](const ProductTree& t) {
       const std::string f = "FATAL [plinth::CInitDBManager::ReadPluginDBConfig]";
       return Lines{f + t.PluginFile("inv", "DBConfig.xml") +
                        " is not well-formed XML: character reference to NUL at offset 117"
                        "[InitDBManager.cpp(*)]",
                    f + "inv DBConfig.xml error[InitDBManager.cpp(*)]",
                    "ERROR " + kInit + "ReadPluginDBConfig fail, plugin inv[InitDBManager.cpp(*)]"};
     }},
    {"DBConfigWithAnUndefinedEntity",
     [](const ProductTree& t) {
       t.WriteDBConfig("inv", ProductTree::DBConfigBody("inv", "inv&db;"));
     },
     [](const ProductTree& t) {
       const std::string f = "FATAL [plinth::CInitDBManager::ReadPluginDBConfig]";
       return Lines{f + t.PluginFile("inv", "DBConfig.xml") +
                        " is not well-formed XML: undefined entity at offset 114"
                        "[InitDBManager.cpp(*)]",
                    f + "inv DBConfig.xml error[InitDBManager.cpp(*)]",
                    "ERROR " + kInit + "ReadPluginDBConfig fail, plugin inv[InitDBManager.cpp(*)]"};
     }},
    // "ProductA[1]" would read as the first ProductA element, "ProductA/SQLite/.."
    // as a path of several steps: a product type names one element literally.
    {"ProductTypeWithAnIndex",
     [](const ProductTree& t) {
       WriteInventory(t);
       t.Write("product/Product.xml",
               "<ProductDescription><Product>ProductA[1]</Product></ProductDescription>");
     },
     [](const ProductTree&) {
       return Lines{
           "FATAL [plinth::CInitDBManager::ReadPluginDBConfig]inv DBConfig.xml error"
           "[InitDBManager.cpp(*)]",
           "ERROR " + kInit + "ReadPluginDBConfig fail, plugin inv[InitDBManager.cpp(*)]"};
     }},
    {"ProductTypeWithASeparator",
     [](const ProductTree& t) {
       t.Write(t.PluginFile("inv", "DBConfig.xml"), "<DBConfig><Outer><ProductA><SQLite>" +
                                                        ProductTree::DBConfigBody("inv", "inv.db") +
                                                        "</SQLite></ProductA></Outer></DBConfig>");
       t.Write("product/Product.xml",
               "<ProductDescription><Product>Outer/ProductA</Product></ProductDescription>");
     },
     [](const ProductTree&) {
       return Lines{
           "FATAL [plinth::CInitDBManager::ReadPluginDBConfig]inv DBConfig.xml error"
           "[InitDBManager.cpp(*)]",
           "ERROR " + kInit + "ReadPluginDBConfig fail, plugin inv[InitDBManager.cpp(*)]"};
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

// A database file name that would make the run remove or overwrite another
// database, or a file SQLite keeps beside one: the plug-in run, the plug-in
// whose DBConfig.xml names `file`, the file the run would have removed were
// the name not refused, and the lines from the refusal on.
struct RefusedName {
  const char* name;
  const char* run;
  const char* configured;
  const char* file;
  const char* precious;
  Lines lines;
  friend void PrintTo(const RefusedName& c, std::ostream* os) { *os << c.name; }
};

const std::string kReadOwn = "FATAL [plinth::CInitDBManager::ReadPluginDBConfig]";
const std::string kReadSpecial = "FATAL [plinth::CInitDBManager::ReadSpecialPluginDBConfig]";
const std::string kAt = "[InitDBManager.cpp(*)]";

const RefusedName kRefusedNames[] = {
    {"CompanionOfEventDatabase",
     "inv",
     "inv",
     "event.db-wal",
     "inv.db",
     {kReadSpecial +
          "inv SQLiteFileName \"event.db-wal\" refused: it is a companion file of the "
          "database of event.s." +
          kAt,
      kReadSpecial + "inv DBConfig.xml error" + kAt,
      "ERROR " + kInit + "ReadSpecialPluginDBConfig fail" + kAt}},
    {"JournalOfEventDatabaseInOtherCase",
     "inv",
     "inv",
     "EVENT.db-Journal",
     "inv.db",
     {kReadSpecial +
      "inv SQLiteFileName \"EVENT.db-Journal\" refused: it is a companion file of "
      "the database of event.s." +
      kAt}},
    {"CompanionOfPublicDatabase",
     "inv",
     "inv",
     "public.db-shm",
     "inv.db",
     {kReadOwn +
          "inv SQLiteFileName \"public.db-shm\" refused: it names a companion file of the "
          "shared database public.db." +
          kAt,
      kReadOwn + "inv DBConfig.xml error" + kAt,
      "ERROR " + kInit + "ReadPluginDBConfig fail, plugin inv" + kAt}},
    {"CompanionOfPlatformDatabase",
     "inv",
     "inv",
     "Platform.DB-journal",
     "inv.db",
     {kReadOwn +
      "inv SQLiteFileName \"Platform.DB-journal\" refused: it names a companion file "
      "of the platform's database platform.db." +
      kAt}},
    {"PlatformsOwnCompanion",
     "platform",
     "platform",
     "platform.db-wal",
     "inv.db",
     {kReadOwn +
          "platform SQLiteFileName \"platform.db-wal\" refused: it names a companion file "
          "of the platform's database platform.db." +
          kAt,
      "ERROR " + kInit + "ReadPluginDBConfig fail, plugin platform" + kAt}},
    {"PlatformOnACompanionOfEventDatabase",
     "platform",
     "platform",
     "event.db-shm",
     "inv.db",
     {kReadSpecial +
      "platform SQLiteFileName \"event.db-shm\" refused: it is a companion file of "
      "the database of event.s." +
      kAt}},
    {"EventDatabaseOnACompanionOfPublic",
     "inv",
     "event.s",
     "public.db-wal",
     "public.db-wal",
     {kReadSpecial +
          "event.s SQLiteFileName \"public.db-wal\" refused: it names a companion file "
          "of the shared database public.db." +
          kAt,
      kReadSpecial + "event.s DBConfig.xml error" + kAt}},
    // inv's run would remove inv.db-wal with inv.db, and with it event.s's
    // database.
    {"EventDatabaseOnACompanionOfTheOwn",
     "inv",
     "event.s",
     "inv.db-wal",
     "inv.db-wal",
     {kReadSpecial +
          "inv SQLiteFileName \"inv.db\" refused: its companion file inv.db-wal is the "
          "database of event.s." +
          kAt,
      kReadSpecial + "inv DBConfig.xml error" + kAt}},
};

class RefusedFileName : public ::testing::TestWithParam<RefusedName> {};

// Each on a product the platform's run has built: the refusal comes before
// anything is removed, and event.s's database still opens with the key.
TEST_P(RefusedFileName, RemovesNothing) {
  const RefusedName& c = GetParam();
  ProductTree tree;
  tree.Write(tree.ScriptFile("event.s", "create_tables.sql"),
             "CREATE TABLE events(a); INSERT INTO events VALUES('kept');");
  ASSERT_EQ(tree.Run({"platform"}).exit_code, 0);
  WriteInventory(tree);
  tree.WriteDBConfig(c.configured, ProductTree::DBConfigBody("x", c.file));
  tree.Write(tree.data_dir() + "/" + c.precious, "precious");
  const std::string before = DirectorySnapshot(tree.data_dir());

  const RunResult run = tree.Run({c.run});
  EXPECT_EQ(run.exit_code, 1);
  Lines expected = c.lines;
  expected.push_back("ERROR [main]" + std::string(c.run) + " plugin Init FAILED.err_code:5." +
                     "[main.cpp(*)]");
  EXPECT_TRUE(InOrder(run, expected));
  EXPECT_EQ(DirectorySnapshot(tree.data_dir()), before);
  EXPECT_EQ(tree.Query("event.db", "SELECT a FROM events;"), "kept\n");
}

INSTANTIATE_TEST_SUITE_P(Config, RefusedFileName, ::testing::ValuesIn(kRefusedNames),
                         [](const auto& info) { return std::string(info.param.name); });

// A SQLiteConfig.xml that is not well-formed XML, as a power loss or a cut
// copy leaves it, would give no key and unencrypted databases: the run fails.
struct UnparsableText {
  const char* name;
  std::string text;
  std::string reason;
  friend void PrintTo(const UnparsableText& c, std::ostream* os) { *os << c.name; }
};

const std::string kKeyElement = std::string("<Configs><Config PRAGMA=\"key\" VALUE=\"") + kKey;

const UnparsableText kUnparsableSettings[] = {
    {"CutAfterTheKey", kKeyElement + "\"/>", "Start-end tags mismatch at offset 57"},
    {"CutInsideTheKey", kKeyElement, "Error parsing element attribute at offset 37"},
    {"NulBytesOnly", std::string(4096, '\0'), "NUL character at offset 0"},
    {"NulBytesAfterTheText", kKeyElement + "\"/></Configs>" + std::string(512, '\0'),
     "NUL character at offset 68"},
    {"NulByteInTheKey", kKeyElement + std::string(1, '\0') + "\"/></Configs>",
     "NUL character at offset 55"},
    {"ReferenceToNulInTheKey", kKeyElement + "&#0;\"/></Configs>",
     "character reference to NUL at offset 55"},
    {"ReferenceToNulFirst", "<Configs><Config PRAGMA=\"key\" VALUE=\"&#x000;x\"/></Configs>",
     "character reference to NUL at offset 37"},
    {"ReferenceThatWrapsToNul",
     "<Configs><Config PRAGMA=\"cache_size\" VALUE=\"&#4294967296;\"/></Configs>",
     "character reference to NUL at offset 44"},
    {"ReferenceToNulInAName",
     "<Configs><Config PRAGMA=\"journal_mode&#00;x\" VALUE=\"WAL\"/></Configs>",
     "character reference to NUL at offset 37"},
    {"TextAfterTheRoot", kKeyElement + "\"/></Configs>\njunk", "text outside the root element"},
    // Not well-formed, though a lenient parser takes each: the databases
    // would be keyed with "short", or with a key that is not the one written.
    {"DuplicatedValue",
     std::string("<Configs><Config PRAGMA=\"key\" VALUE=\"short\" VALUE=\"") + kKey +
         "\"/></Configs>",
     "duplicate attribute at offset 44"},
    {"BareAmpersandInTheKey", kKeyElement + "&x\"/></Configs>",
     "not well-formed (invalid token) at offset 57"},
    {"LessThanInTheKey", kKeyElement + "<x\"/></Configs>",
     "not well-formed (invalid token) at offset 55"},
    {"UndefinedEntityInTheKey", kKeyElement + "&k;\"/></Configs>", "undefined entity at offset 9"},
    {"DocumentTypeDeclaration",
     "<!DOCTYPE Configs [<!ENTITY k \"" + std::string(kKey) + "\">]>" + kKeyElement +
         "&k;\"/></Configs>",
     "document type declaration at offset 18"},
    {"NotXml", "key=secret\n", "text outside the root element"},
};

class UnparsableSQLiteConfig : public ::testing::TestWithParam<UnparsableText> {};

TEST_P(UnparsableSQLiteConfig, FailsTheRun) {
  ProductTree tree;
  const std::string path = tree.bin_dir() + "/META_INFO/SQLiteConf/SQLiteConfig.xml";
  tree.Write(path, GetParam().text);
  const RunResult run = tree.Run({"platform"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_TRUE(InOrder(
      run, {"FATAL [plinth::CInitDBManager::ReadSQLiteConfig]" + path +
                " is not well-formed XML: " + GetParam().reason + kAt,
            "ERROR " + kInit + "ReadSQLiteConfig fail" + kAt,
            "ERROR [plinth::CExecuteInit::ExecInitDB]manager init failed![ExecuteInit.cpp(*)]",
            "ERROR [main]platform plugin Init FAILED.err_code:5.[main.cpp(*)]"}));
  EXPECT_EQ(run.Find("cnt config in SQLiteConfig.xml"), -1);
  EXPECT_TRUE(NowhereInOutput(run, kKey));
  EXPECT_FALSE(tree.Exists(tree.data_dir()));
}

INSTANTIATE_TEST_SUITE_P(Config, UnparsableSQLiteConfig, ::testing::ValuesIn(kUnparsableSettings),
                         [](const auto& info) { return std::string(info.param.name); });

const char kNotPlain[] =
    "it is not a plain SQL name (ASCII letters, digits and \"_\", not beginning with a digit)";
const char kOnlyKey[] = "only \"key\" in lower case keys the database files";

// Each refused before any setting is logged or stored, its value nowhere.
TEST(Config, SettingsThatCannotReachEveryFileAreRefused) {
  const struct {
    const char* name;
    const char* reason;
  } cases[] = {
      {"cipher_salt", "it would give every database file the same salt"},
      {"cipher_migrate", "it rewrites database files"},
      {"Cipher_Migrate", "it rewrites database files"},
      {"cipher_log", "SQLCipher's own log is turned off, Plinth's log says what failed"},
      {"cipher_log_level", "SQLCipher's own log is turned off, Plinth's log says what failed"},
      // SQLCipher ignores these: the key would be logged and no file keyed.
      {"key ", kNotPlain},
      {" key", kNotPlain},
      {"main.key", kNotPlain},
      {"key;--", kNotPlain},
      {"1key", kNotPlain},
      {"k\xC3\xA9y", kNotPlain},
      // SQLCipher would key the main file alone, and the attaches fail.
      {"KEY", kOnlyKey},
      {"Key", kOnlyKey},
      {"ReKey", kOnlyKey},
      {"rekey", kOnlyKey},
      {"hexkey", kOnlyKey},
      {"HEXREKEY", kOnlyKey},
      {"textkey", kOnlyKey},
      {"TextReKey", kOnlyKey},
  };
  ProductTree tree;
  for (const auto& c : cases) {
    tree.WriteSQLiteConfig({{c.name, "x'00112233445566778899aabbccddeeff'"}, {"key", kKey}});
    const RunResult run = tree.Run({"platform"});
    EXPECT_EQ(run.exit_code, 1) << c.name;
    EXPECT_TRUE(InOrder(run, {"FATAL [plinth::CInitDBManager::ReadSQLiteConfig]SQLiteConfig.xml "
                              "setting \"" +
                                  std::string(c.name) + "\" refused: " + c.reason + "." + kAt,
                              "ERROR " + kInit + "ReadSQLiteConfig fail" + kAt,
                              "ERROR [main]platform plugin Init FAILED.err_code:5.[main.cpp(*)]"}))
        << c.name;
    EXPECT_EQ(run.Find("PRAGMA "), -1) << c.name;
    EXPECT_TRUE(NowhereInOutput(run, "x'0011")) << c.name;
    EXPECT_FALSE(tree.Exists(tree.data_dir())) << c.name;
  }
}

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

// Every other plug-in attaches platform.db: the platform's run says so when
// its file has another name, and no plug-in's run may remove that file.
TEST(Config, PlatformDatabaseUnderAnotherName) {
  ProductTree tree;
  tree.WriteDBConfig("platform", ProductTree::DBConfigBody("platform", "Sys.db"));
  tree.Write(tree.ScriptFile("platform", "create_tables.sql"), "CREATE TABLE own(a);");
  const RunResult platform = tree.Run({"platform"});
  ASSERT_EQ(platform.exit_code, 0) << platform.Dump();
  EXPECT_TRUE(InOrder(platform, {"WARN [plinth::CInitDBManager::ReadPluginDBConfig]platform "
                                 "SQLiteFileName \"Sys.db\" is not platform.db: every other "
                                 "plug-in attaches platform.db, which this run does not build." +
                                     kAt,
                                 "INFO [plinth::CInitDBManager::ReadSQLiteConfig]Get 1 cnt "
                                 "config in SQLiteConfig.xml" +
                                     kAt,
                                 "INFO [main]RUN Plinth SUCCESS.[main.cpp(*)]"}));
  const std::string before = DirectorySnapshot(tree.data_dir());
  const struct {
    const char* file;
    const char* reason;
  } cases[] = {
      {"sys.DB", "it names the platform's database Sys.db"},
      {"SYS.db-wal", "it names a companion file of the platform's database Sys.db"},
  };
  for (const auto& c : cases) {
    tree.WriteDBConfig("inv", ProductTree::DBConfigBody("inv", c.file));
    const RunResult run = tree.Run({"inv"});
    EXPECT_EQ(run.exit_code, 1) << c.file;
    EXPECT_TRUE(InOrder(
        run, {kReadOwn + "inv SQLiteFileName \"" + c.file + "\" refused: " + c.reason + "." + kAt,
              kReadOwn + "inv DBConfig.xml error" + kAt,
              "ERROR " + kInit + "ReadPluginDBConfig fail, plugin inv" + kAt}))
        << c.file;
  }
  EXPECT_EQ(DirectorySnapshot(tree.data_dir()), before);
  EXPECT_EQ(tree.Query("Sys.db", "SELECT count(*) FROM own;"), "0\n");

  // The look at the platform's DBConfig.xml is silent, and its absence
  // changes nothing.
  tree.Remove(tree.PluginFile("platform", "DBConfig.xml"));
  tree.WriteDBConfig("inv", ProductTree::DBConfigBody("inv", "inv.db"));
  const RunResult run = tree.Run({"inv"});
  EXPECT_EQ(run.exit_code, 0) << run.Dump();
  EXPECT_EQ(run.Find("/SYS/"), -1) << run.Dump();
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
  tree.WriteSQLiteConfig({{"key", kKey}, {"cache_size", "-2000"}});
  const RunResult run = tree.Run({"platform"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_TRUE(NowhereInOutput(run, kKey));
  EXPECT_TRUE(
      run.Has("INFO [plinth::CInitDBManager::ReadSQLiteConfig]PRAGMA key = ***"
              "[InitDBManager.cpp(*)]"))
      << run.Dump();
}

}  // namespace
}  // namespace plinth_e2e
