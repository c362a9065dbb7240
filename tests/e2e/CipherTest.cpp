// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// SQLCipher's side of the build through the real binary: the cipher settings
// reach every file a run keys, a reader still on SQLCipher 3 reads the files of
// a product that asks for its format, a file that cannot be decrypted is said
// to be so with its likely causes, and SQLCipher's own messages stay off
// standard error.
#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>

#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "e2e/Harness.h"
#include "e2e/TestUtil.h"
#include "support/Process.h"

namespace plinth_e2e {
namespace {

const std::string kCreate = "[plinth::CInitDBManager::CreateSQLiteDBFile]";
const std::string kAt = "[InitDBManager.cpp(*)]";

// Every file the platform's run and inv's run key, with its tables as
// TableNames() gives them.
const std::pair<const char*, const char*> kFiles[] = {
    {"public.db", "dictionary"},
    {"platform.db", "own,product_version"},
    {"event.db", "events"},
    {"inv.db", "stock"},
};

// A table in the platform's own database and in event.db, and an ordinary
// plug-in "inv" (inv.db) that runs a script in event.db: its run keys all four
// files of kFiles, event.db through a connection of its own.
void WriteProduct(const ProductTree& tree, const Settings& settings) {
  tree.WriteSQLiteConfig(settings);
  tree.Write(tree.ScriptFile("platform", "create_tables.sql"), "CREATE TABLE own(a);");
  tree.Write(tree.ScriptFile("event.s", "create_tables.sql"), "CREATE TABLE events(name TEXT);");
  tree.WriteDBConfig(
      "inv", ProductTree::DBConfigBody(
                 "inv", "inv.db", ProductTree::EventSScripts("<Path>META_INFO/inv/ev.sql</Path>")));
  tree.Write(tree.ScriptFile("inv", "create_tables.sql"), "CREATE TABLE stock(sku TEXT);");
  tree.Write(tree.sys_dir() + "/META_INFO/inv/ev.sql", "INSERT INTO events VALUES('inv');");
}

// The query that lists a file's tables: "a,b" in name order.
constexpr char kTableNames[] =
    "SELECT group_concat(name, ',') FROM "
    "(SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name);";

// The settings of a row, besides the key.
struct CipherCase {
  const char* name;
  Settings settings;
  friend void PrintTo(const CipherCase& c, std::ostream* os) { *os << c.name; }
};

const CipherCase kCipherCases[] = {
    {"Defaults", {}},
    {"Compatibility3", {{"cipher_compatibility", "3"}}},
    {"KdfIter", {{"kdf_iter", "1000"}}},
    {"PageSize", {{"cipher_page_size", "8192"}}},
    {"NameInUpperCase", {{"KDF_ITER", "1000"}}},
    // journal_mode reads the file before kdf_iter comes in name order.
    {"AfterASettingThatReadsTheFile", {{"kdf_iter", "1000"}, {"journal_mode", "WAL"}}},
    {"Combination",
     {{"cipher_compatibility", "3"},
      {"cipher_page_size", "8192"},
      {"kdf_iter", "1000"},
      {"cipher_kdf_algorithm", "PBKDF2_HMAC_SHA256"}}},
};

class CipherSettings : public ::testing::TestWithParam<CipherCase> {};

TEST_P(CipherSettings, ReachEveryFileTheRunsKey) {
  const CipherCase& c = GetParam();
  ProductTree tree;
  Settings settings = c.settings;
  settings.emplace_back("key", kKey);
  WriteProduct(tree, settings);
  const RunResult platform = tree.Run({"platform"});
  ASSERT_EQ(platform.exit_code, 0) << platform.Dump();
  const RunResult inv = tree.Run({"inv"});
  ASSERT_EQ(inv.exit_code, 0) << inv.Dump();
  for (const RunResult* run : {&platform, &inv}) {
    // The settings' statements and lines are those of any setting.
    for (const auto& [name, value] : c.settings) {
      EXPECT_TRUE(run->Has("INFO " + kCreate + "conf_sql:PRAGMA \"" + name + "\" = \"" + value +
                           "\";." + kAt))
          << name << "\n"
          << run->Dump();
    }
    EXPECT_EQ(run->std_err, "");
  }
  for (const auto& [file, tables] : kFiles) {
    const std::string path = tree.data_dir() + "/" + file;
    EXPECT_EQ(Shell(path, kKey, c.settings, kTableNames), std::string(tables) + "\n") << file;
    if (!c.settings.empty()) {
      EXPECT_EQ(Shell(path, kKey, {}, kTableNames),
                std::string("error: Error: in prepare, ") + sqlite3_errstr(SQLITE_NOTADB) + " (26)")
          << file;
    }
  }
  EXPECT_EQ(Shell(tree.data_dir() + "/event.db", kKey, c.settings, "SELECT name FROM events;"),
            "inv\n");
}

INSTANTIATE_TEST_SUITE_P(Cipher, CipherSettings, ::testing::ValuesIn(kCipherCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Cipher, FilesOfCompatibility3ReadBySqlCipher3) {
  ProductTree tree;
  WriteProduct(tree, {{"cipher_compatibility", "3"}, {"key", kKey}});
  ASSERT_EQ(tree.Run({"platform"}).exit_code, 0);
  ASSERT_EQ(tree.Run({"inv"}).exit_code, 0);
  const std::pair<const char*, const char*> expected[] = {
      {"public.db", "dictionary|1\n"},
      {"platform.db", "own|0\nproduct_version|1\n"},
      {"event.db", "events|1\n"},
      {"inv.db", "stock|0\n"},
  };
  for (const auto& [file, rows] : expected) {
    const plinth_test::ProcessResult reader = plinth_test::RunProcess(
        {SQLCIPHER3_READER, tree.data_dir() + "/" + file, kKey}, Environment(), {});
    if (reader.exit_code == 77) {
      GTEST_SKIP() << "SQLCipher 3 is not at hand (Debian 12's libsqlcipher0 is; Debian 13 has "
                      "none): "
                   << reader.std_err;
    }
    EXPECT_EQ(reader.exit_code, 0) << file << ": " << reader.std_err;
    EXPECT_EQ(reader.std_out, rows) << file;
  }
}

// A file the run cannot decrypt: how the tree's first product is built, how it
// is changed before inv's run, and the file inv's run fails on ("@" in a line
// stands for the data directory).
struct UndecryptableCase {
  const char* name;
  Settings built_with;
  Settings run_with;
  std::function<void(const ProductTree&)> change;
  Lines lines;
  friend void PrintTo(const UndecryptableCase& c, std::ostream* os) { *os << c.name; }
};

const std::string kHint =
    " cannot be read with the configured key and cipher settings: the key may be wrong or "
    "missing, the file may have been written with other cipher settings, or by another "
    "SQLCipher format (e.g. before the upgrade to SQLCipher 4): run the plug-in platform first "
    "to build the shared databases anew, or set cipher_compatibility = 3 in SQLiteConfig.xml";
const std::string kNotADatabase =
    std::string("errorcode:26,errinfo:") + sqlite3_errstr(SQLITE_NOTADB);
const Lines kPublicUnreadable = {
    "ERROR " + kCreate + "attach database fail," + kNotADatabase + kAt,
    "ERROR " + kCreate + "attaching @/public.db as public failed" + kAt,
    "ERROR " + kCreate + "@/public.db" + kHint + kAt,
    "ERROR [plinth::CInitDBManager::RunDBInit]CreateSQLiteDBFile fail" + kAt};

const UndecryptableCase kUndecryptableCases[] = {
    {"WrongKey",
     {{"kdf_iter", "1000"}, {"key", "first-key"}},
     {{"kdf_iter", "1000"}, {"key", kKey}},
     nullptr,
     kPublicUnreadable},
    {"NoKey", {{"kdf_iter", "1000"}, {"key", kKey}}, {}, nullptr, kPublicUnreadable},
    {"OtherSettings",
     {{"kdf_iter", "1000"}, {"key", kKey}},
     {{"kdf_iter", "2000"}, {"key", kKey}},
     nullptr,
     kPublicUnreadable},
    // A product whose shared files were written in SQLCipher 3's format, as
    // before the upgrade, and whose platform was not run since.
    {"SqlCipher3Format",
     {{"cipher_compatibility", "3"}, {"key", kKey}},
     {{"kdf_iter", "1000"}, {"key", kKey}},
     nullptr,
     kPublicUnreadable},
    // event.db is the first file inv's run reads through a connection of its
    // own.
    {"SpecialDatabaseOfAnotherKey",
     {{"kdf_iter", "1000"}, {"key", kKey}},
     {{"kdf_iter", "1000"}, {"key", kKey}},
     [](const ProductTree& t) {
       const std::string event = t.data_dir() + "/event.db";
       t.Remove(event);
       ASSERT_EQ(Shell(event, "another-key", {{"kdf_iter", "1000"}}, "CREATE TABLE events(a);"),
                 "");
     },
     {"ERROR " + kCreate + "write header of @/event.db fail," + kNotADatabase + kAt,
      "ERROR " + kCreate + "@/event.db" + kHint + kAt,
      "ERROR [plinth::CInitDBManager::RunDBInit]CreateSQLiteDBFile fail" + kAt}},
};

// True when `text` holds a line of SQLCipher's own log: "<time>: <level>
// <source> <message>".
bool HoldsSqlCipherLine(const std::string& text) {
  for (const char* level : {"ERROR", "WARN", "INFO", "DEBUG", "TRACE"}) {
    for (const char* source : {"CORE", "MEMORY", "MUTEX", "PROVIDER"}) {
      if (text.find(std::string(": ") + level + " " + source + " ") != std::string::npos) {
        return true;
      }
    }
  }
  return false;
}

class Undecryptable : public ::testing::TestWithParam<UndecryptableCase> {};

TEST_P(Undecryptable, IsSaidWithItsLikelyCausesAndNothingOnStandardErrorButTheLog) {
  const UndecryptableCase& c = GetParam();
  ProductTree tree;
  WriteProduct(tree, c.built_with);
  ASSERT_EQ(tree.Run({"platform"}).exit_code, 0);
  if (c.change) c.change(tree);
  tree.WriteSQLiteConfig(c.run_with);
  const RunResult run = tree.Run({"inv"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_TRUE(InOrder(run, WithPlaceholder(c.lines, tree.data_dir())));
  // The log goes to a file, and SQLCipher's own lines ("<time>: ERROR CORE
  // sqlcipher_page_cipher: hmac check failed for pgno=1") must not reach
  // standard error. (Under LeakSanitizer standard error also holds the report
  // of the connections a failed run leaves open for the process's end.)
  EXPECT_FALSE(HoldsSqlCipherLine(run.std_err)) << run.std_err;
}

INSTANTIATE_TEST_SUITE_P(Cipher, Undecryptable, ::testing::ValuesIn(kUndecryptableCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace plinth_e2e
