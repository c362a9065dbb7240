// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// Where a failing script failed: the line after a script's failure line that
// names the file, the line on which the failing statement begins and its
// first characters; and the line after a failed attach that names the file and
// the schema.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "e2e/Harness.h"
#include "e2e/TestUtil.h"

namespace plinth_e2e {
namespace {

const std::string kScripts = "[plinth::CInitDBManager::SQLiteDBInit]";
const std::string kRun = "[plinth::CInitDBManager::RunDBInit]";
const std::string kAt = "[InitDBManager.cpp(*)]";
const std::string kSecret = "ScriptKey42";

// Success when `expected` are lines of the run's Lines(), one right after the
// other.
::testing::AssertionResult Consecutive(const RunResult& run, const Lines& expected) {
  const Lines lines = run.Lines();
  if (std::search(lines.begin(), lines.end(), expected.begin(), expected.end()) != lines.end()) {
    return ::testing::AssertionSuccess();
  }
  ::testing::AssertionResult failure = ::testing::AssertionFailure();
  failure << "not found one after the other:\n";
  for (const std::string& line : expected) failure << "  " << line << "\n";
  return failure << run.Dump();
}

// A create_tables.sql of the plug-in "inv" that fails, the error code and
// text SQLite reports, where the failing statement begins and what of it is shown, and
// the tables it left.
struct FailingScript {
  const char* name;
  std::string script;
  int errorcode;
  std::string errinfo;
  int line;
  std::string shown;
  std::string tables;
  friend void PrintTo(const FailingScript& c, std::ostream* os) { *os << c.name; }
};

std::string LongStatement() { return "INSERT INTO nope VALUES('" + std::string(200, 'a') + "');"; }

// A script of several blocks of reading: 6,000 lines of rows with ";" in
// their text, a trigger, then a failing statement on line 6,007.
std::string ManyBlocks() {
  std::string script = "CREATE TABLE one(a);\nBEGIN;\n";
  for (int i = 0; i < 6000; ++i)
    script += "INSERT INTO one VALUES('row; " + std::to_string(i) + "');\n";
  return script + "COMMIT;\n" +
         "CREATE TRIGGER t AFTER INSERT ON one BEGIN\n  SELECT 1;\nEND;\nINSERT INTO nope "
         "VALUES(1);";
}

const FailingScript kFailingScripts[] = {
    // A statement begins at its first token: comments before it are not
    // part of it.
    {"FirstStatementAfterComments",
     "-- the inventory's tables\n/* two\n   of them */\nINSERT INTO nope VALUES(1);\n"
     "CREATE TABLE two(a);",
     1, "no such table: nope", 4, "INSERT INTO nope VALUES(1);", ""},
    {"MiddleStatement",
     "CREATE TABLE one(a);\nINSERT INTO one VALUES(1);\n\n  -- and then\n  "
     "INSERT INTO nope VALUES(2);  CREATE TABLE three(a);",
     1, "no such table: nope", 5, "INSERT INTO nope VALUES(2);", "one\n"},
    {"LastStatementWithoutSemicolon",
     "CREATE TABLE one(a);\nCREATE TABLE two(a);\nCREATE TABLE one(b)", 1,
     "table one already exists", 3, "CREATE TABLE one(b)", "one\ntwo\n"},
    {"TwoOnOneLine", "CREATE TABLE one(a); INSERT INTO one VALUES(1, 2); CREATE TABLE two(a);", 1,
     "table one has 1 columns but 2 values were supplied", 1, "INSERT INTO one VALUES(1, 2);",
     "one\n"},
    {"AfterByteOrderMark",
     "\xEF\xBB\xBF"
     "CREATE TABLE one(a);\n INSERT INTO one VALUES(1, 2); CREATE TABLE two(a);",
     1, "table one has 1 columns but 2 values were supplied", 2, "INSERT INTO one VALUES(1, 2);",
     "one\n"},
    {"SpanningLines", "CREATE TABLE one(a);\n\nINSERT INTO one\n  VALUES(1,\n\t2);", 1,
     "table one has 1 columns but 2 values were supplied", 3,
     "INSERT INTO one\\n  VALUES(1,\\n\\t2);", "one\n"},
    // The semicolons inside a trigger's body do not end the statement.
    {"InTriggerBody",
     "CREATE TABLE one(a);\nCREATE TABLE log(x);\nCREATE TRIGGER t AFTER INSERT ON one BEGIN\n"
     "  INSERT INTO log VALUES(1);\n  INSERT INTO log VALUE(2);\nEND;\nCREATE TABLE two(a);",
     1, "near \"VALUE\": syntax error", 3,
     "CREATE TRIGGER t AFTER INSERT ON one BEGIN\\n  INSERT INTO log VALUES(1);\\n  INSERT INTO "
     "log VALUE(2);\\nEND;",
     "one\nlog\n"},
    {"FiredTriggerAfterABodyOfManyLines",
     "CREATE TABLE one(a);\nCREATE TRIGGER t AFTER INSERT ON one BEGIN\n"
     "  SELECT 1;\n  SELECT RAISE(ABORT, 'no; more');\nEND;\nINSERT INTO one VALUES(1);",
     19, "no; more", 6, "INSERT INTO one VALUES(1);", "one\n"},
    {"KeyStatement", "CREATE TABLE one(a);\nPRAGMA nosuch.key = '" + kSecret + "';", 1,
     "unknown database nosuch", 2, "PRAGMA nosuch.key = ***", "one\n"},
    {"TextKeyStatement", "CREATE TABLE one(a);\nPRAGMA nosuch.textkey = '" + kSecret + "';", 1,
     "unknown database nosuch", 2, "PRAGMA nosuch.textkey = ***", "one\n"},
    // SQLite's error quotes the key it stumbled on.
    {"KeyStatementWithASyntaxError",
     "CREATE TABLE one(a);\nPRAGMA key = x '" + kSecret + "';\nCREATE TABLE two(a);", 1,
     "near \"***\": syntax error", 2, "PRAGMA key = ***", "one\n"},
    {"AttachWithAKey", "ATTACH DATABASE '/nonexistent/dir/x.db' AS x\n  KEY '" + kSecret + "';", 14,
     "unable to open database: /nonexistent/dir/x.db", 1,
     "ATTACH DATABASE '/nonexistent/dir/x.db' AS x\\n  KEY ***", ""},
    {"LongStatement", LongStatement(), 1, "no such table: nope", 1,
     "INSERT INTO nope VALUES('" + std::string(95, 'a') + "...", ""},
    {"AfterManyBlocks", ManyBlocks(), 1, "no such table: nope", 6007, "INSERT INTO nope VALUES(1);",
     "one\n"},
    // The reader drops a file's trailing line feeds: SQLite's error does not
    // show them.
    {"UnterminatedLiteralAtTheEnd", "CREATE TABLE one(a);\nSELECT 'abc\n\n", 1,
     "unrecognized token: \"'abc\"", 2, "SELECT 'abc", "one\n"},
    {"ControlCharacters", "SELECT 1;\nINSERT INTO nope\tVALUES('a\x01z');", 1,
     "no such table: nope", 2, "INSERT INTO nope\\tVALUES('a\\x01z');", ""},
    // The text shown runs on into a key statement, or hides one: the key is
    // masked wherever it stands.
    {"KeyAfterAMissingSemicolon",
     "CREATE TABLE one(a);\nSELECT 1\nPRAGMA main.\"ReKey\"('" + kSecret + "');", 1,
     "near \"***\": syntax error", 2, "SELECT 1\\nPRAGMA main.\"ReKey\"(***)", "one\n"},
    {"AttachKeyAfterWith", "WITH x AS (SELECT 1) ATTACH 'f.db' AS f KEY '" + kSecret + "';", 1,
     "near \"***\": syntax error", 1, "WITH x AS (SELECT 1) ATTACH 'f.db' AS f KEY ***", ""},
    // SQLite skips a byte-order mark before a statement, but reads it as
    // part of a word after another.
    {"AttachGluedToAByteOrderMark",
     "CREATE TABLE one(a);\n\xEF\xBB\xBF"
     "ATTACH '/nonexistent/dir/x.db' AS x KEY '" +
         kSecret + "';",
     14, "unable to open database: /nonexistent/dir/x.db", 2,
     "\xEF\xBB\xBF"
     "ATTACH '/nonexistent/dir/x.db' AS x KEY ***",
     "one\n"},
    {"ByteOrderMarkAfterAMissingSemicolon",
     "CREATE TABLE one(a);\nSELECT 1\n\xEF\xBB\xBF"
     "ATTACH 'f.db' AS f KEY '" +
         kSecret + "';",
     1, "near \"***\": syntax error", 2,
     "SELECT 1\\n\xEF\xBB\xBF"
     "ATTACH 'f.db' AS f KEY ***",
     "one\n"},
    {"KeyInsideAStrayLiteral",
     "CREATE TABLE one(a);\nINSERT INTO one VALUES('it's');\nPRAGMA key = '" + kSecret + "';", 1,
     "near \"***\": syntax error", 2, "INSERT INTO one VALUES('it's');\\nPRAGMA key ***", "one\n"},
    // SQLite's error echoes an unquoted key.
    {"UnquotedAttachKey", "ATTACH 'f.db' AS f KEY " + kSecret + " || 'x';", 1,
     "no such column: ***", 1, "ATTACH 'f.db' AS f KEY ***", ""},
    {"AttachKeyAsAFunction", "ATTACH 'f.db' AS f KEY " + kSecret + "(1);", 1,
     "no such function: ***", 1, "ATTACH 'f.db' AS f KEY ***", ""},
    {"NonAsciiAttachKeyAsAFunction", "ATTACH 'f.db' AS f KEY 密码" + kSecret + "(1);", 1,
     "no such function: ***", 1, "ATTACH 'f.db' AS f KEY ***", ""},
};

class ScriptFailure : public ::testing::TestWithParam<FailingScript> {};

TEST_P(ScriptFailure, NamesTheFileLineAndStatement) {
  const FailingScript& c = GetParam();
  ProductTree tree;
  tree.WriteDBConfig("inv", ProductTree::DBConfigBody("inv", "inv.db"));
  const std::string script = tree.ScriptFile("inv", "create_tables.sql");
  tree.Write(script, c.script);
  const RunResult run = tree.Run({"inv"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_TRUE(Consecutive(run, {"ERROR " + kScripts + "create_table fail,errorcode:" +
                                    std::to_string(c.errorcode) + ",errinfo:" + c.errinfo + kAt,
                                "ERROR " + kScripts + script + " failed at line " +
                                    std::to_string(c.line) + ": " + c.shown + kAt,
                                "ERROR " + kRun + "SQLiteDBInit fail" + kAt}));
  EXPECT_TRUE(NowhereInOutput(run, kSecret));
  EXPECT_EQ(tree.Query("inv.db", "SELECT name FROM sqlite_master WHERE type = 'table';"), c.tables);
}

INSTANTIATE_TEST_SUITE_P(Build, ScriptFailure, ::testing::ValuesIn(kFailingScripts),
                         [](const auto& info) { return std::string(info.param.name); });

// The other operation that runs a script logs the line as its own, and the
// path is the one the reader was given.
TEST(Build, PublicDataScriptFailureNamesItsFile) {
  ProductTree tree;
  const std::string script = tree.bin_dir() + "/META_INFO/db_init/SQLite/create_public_data.sql";
  tree.Write(script, "CREATE TABLE dictionary(code, label);\nCREATE TABLE dictionary(x);");
  const RunResult run = tree.Run({"platform"});
  EXPECT_EQ(run.exit_code, 1);
  const std::string public_init = "[plinth::CInitDBManager::SQLitePublicDBInit]";
  EXPECT_TRUE(Consecutive(run, {"ERROR " + public_init +
                                    "create_public_data.sql exec fail,errorcode:1,errinfo:table "
                                    "dictionary already exists" +
                                    kAt,
                                "ERROR " + public_init + script +
                                    " failed at line 2: CREATE TABLE dictionary(x);" + kAt,
                                "FATAL " + kScripts + "SQLitePublicDBInit fail" + kAt}));
}

TEST(Build, AttachFailureNamesTheFileAndSchema) {
  ProductTree tree;
  tree.WriteDBConfig("inv", ProductTree::DBConfigBody("inv", "inv.db"));
  const std::string platform_db = tree.data_dir() + "/platform.db";
  std::filesystem::create_directories(platform_db);
  const RunResult run = tree.Run({"inv"});
  EXPECT_EQ(run.exit_code, 1);
  const std::string create = "[plinth::CInitDBManager::CreateSQLiteDBFile]";
  EXPECT_TRUE(Consecutive(
      run,
      {"ERROR " + create + "attach database fail,errorcode:14,errinfo:unable to open database: " +
           platform_db + kAt,
       "ERROR " + create + "attaching " + platform_db + " as platform failed" + kAt,
       "ERROR " + kRun + "CreateSQLiteDBFile fail" + kAt}));
}

}  // namespace
}  // namespace plinth_e2e
