// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>

#include <filesystem>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "Business/SqliteConnection.h"
#include "Common/SqlScan.h"
#include "support/TempDir.h"

namespace plinth {
namespace {

// What a script left behind on a fresh in-memory database: the outcome, the
// connection's error code and text, the number of rows changed and every
// schema entry and row.
struct Outcome {
  bool ok = false;
  int code = 0;
  std::string text;
  int changes = 0;
  std::string contents;
  bool operator==(const Outcome& o) const {
    return ok == o.ok && code == o.code && text == o.text && changes == o.changes &&
           contents == o.contents;
  }
  friend void PrintTo(const Outcome& o, std::ostream* os) {
    *os << "ok=" << o.ok << " code=" << o.code << " text=" << o.text << " changes=" << o.changes
        << " contents=" << o.contents;
  }
};

// Appends the rows of `sql` on `db` to `out`, one "a|b" line each.
void AppendRows(sqlite3* db, const std::string& sql, std::string& out) {
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
    out += "error: " + std::string(sqlite3_errmsg(db)) + "\n";
    return;
  }
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
      const unsigned char* value = sqlite3_column_text(stmt, i);
      out += (i > 0 ? "|" : "") + std::string(value ? reinterpret_cast<const char*>(value) : "-");
    }
    out += "\n";
  }
  sqlite3_finalize(stmt);
}

std::string Contents(sqlite3* db) {
  std::string schema;
  AppendRows(db, "SELECT type, name, sql FROM sqlite_master ORDER BY name;", schema);
  std::string tables;
  AppendRows(db, "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name;", tables);
  std::string out = schema;
  std::size_t start = 0;
  for (std::size_t end = tables.find('\n'); end != std::string::npos;
       start = end + 1, end = tables.find('\n', start)) {
    AppendRows(db, "SELECT * FROM \"" + tables.substr(start, end - start) + "\";", out);
  }
  return out;
}

std::string Repeated(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

// Scripts whose every outcome the statement loops must share with sqlite3_exec.
const char* const kTexts[] = {
    "",
    " \n\t\v\f\r ",
    "-- only a comment",
    "/* unclosed comment; CREATE TABLE t(a);",
    ";;; CREATE TABLE t(a);; ;INSERT INTO t VALUES(1);;",
    "CREATE TABLE t(a); INSERT INTO t VALUES(1); SELECT * FROM t; INSERT INTO t VALUES(2)",
    "CREATE TABLE t(a);\n-- c\nINSERT INTO t VALUES(1);/* c */INSERT INTO t VALUES(2);",
    "INSERT INTO nope VALUES(1); CREATE TABLE t(a);",
    "CREATE TABLE t(a); INSERT INTO nope VALUES(1); CREATE TABLE u(a);",
    "CREATE TABLE t(a) garbage; CREATE TABLE u(a);",
    "CREATE TABLE t(a UNIQUE); INSERT INTO t VALUES(1); INSERT INTO t VALUES(1); "
    "INSERT INTO t VALUES(2);",
    "CREATE TABLE t(a); INSERT INTO t VALUES(1), (2); SELECT a, abs(-9223372036854775808) FROM "
    "t; INSERT INTO t VALUES(3);",
    // The error comes with the second row.
    "CREATE TABLE t(a); INSERT INTO t VALUES(1), (2); "
    "SELECT CASE WHEN a = 2 THEN abs(-9223372036854775808) END FROM t; INSERT INTO t VALUES(3);",
    "CREATE TABLE t(a); CREATE TABLE log(x);\n"
    "CREATE TRIGGER tr AFTER INSERT ON t BEGIN INSERT INTO log VALUES(new.a); "
    "SELECT RAISE(ABORT, 'no; more') WHERE new.a > 1; END;\n"
    "INSERT INTO t VALUES(1); INSERT INTO t VALUES(2); INSERT INTO t VALUES(3);",
    "BEGIN; CREATE TABLE t(a); ROLLBACK; COMMIT; CREATE TABLE u(a);",
    "ATTACH ':memory:' AS a; CREATE TABLE a.x(b); DETACH a; SELECT * FROM a.x;",
    "PRAGMA nosuch.key = 'x'; CREATE TABLE t(a);",
    "CREATE TABLE t(a); SELECT 'unterminated; CREATE TABLE u(a);",
    "CREATE TABLE t(a); DROP TABLE t; CREATE TABLE t(b); INSERT INTO t(b) VALUES(1);",
    "CREATE TABLE t(a); INSERT INTO t VALUES('x;y'); -- note; INSERT INTO t VALUES(1);\n"
    "/* ; */ INSERT INTO t VALUES(';'); SELECT [a;b] FROM t;",
    "CREATE TABLE t(a);\nINSERT INTO t\n  VALUES(1);\n\n-- c;\nINSERT INTO nope VALUES(1);\nSELECT "
    "1;",
    "CREATE TABLE t(a);\nSELECT (1;\nSELECT 2);",
    "CREATE TABLE t(a);\nINSERT INTO t VALUES(1)\n-- the end; of it",
};

// The texts above, and scripts of the shapes that a reader in blocks must
// not hold whole.
std::vector<std::string> Scripts() {
  std::vector<std::string> scripts(std::begin(kTexts), std::end(kTexts));
  const std::string more[] = {
      // Strings that hold ";", more of them than a statement's other text.
      "CREATE TABLE t(a);\n" +
          Repeated("INSERT INTO t VALUES(';;;;;;;;;;;;;;;;;;;;;;;;;;;;');\n", 40) +
          "INSERT INTO t VALUES(';;;;' || nope);\nINSERT INTO t VALUES(';');",
      // A flood of comments between statements, and before a failing one.
      "CREATE TABLE t(a);" +
          Repeated("-- a comment; INSERT INTO t VALUES(0);\n/* and ; another */", 60) +
          "INSERT INTO t VALUES(1);\n" + Repeated("/* x; */ -- y;\n", 50) +
          "INSERT INTO nope VALUES(1);",
      // Trigger bodies: CASE ... END inside, TEMP and TEMPORARY, after EXPLAIN.
      std::string("CREATE TABLE t(a); CREATE TABLE log(x);\n") +
          "CREATE TEMP TRIGGER tr AFTER INSERT ON t BEGIN\n" +
          "  INSERT INTO log VALUES(CASE new.a WHEN 1 THEN 'one;' ELSE 'more' END);\n" +
          "  INSERT INTO log SELECT CASE WHEN new.a > 2 THEN RAISE(ABORT, 'three; stop') END;\n" +
          "END;\n" +
          "EXPLAIN CREATE TEMPORARY TRIGGER tr2 AFTER DELETE ON t BEGIN SELECT 1; END;\n" +
          "INSERT INTO t VALUES(1); INSERT INTO t VALUES(2); INSERT INTO t VALUES(3); " +
          "INSERT INTO t VALUES(4);",
      std::string("CREATE TABLE t(a);\n") +
          "CREATE TRIGGER tr AFTER INSERT ON t BEGIN SELECT 1; END\nINSERT INTO t VALUES(1);",
      // An unterminated literal or comment at the end, a last statement
      // without ";".
      "CREATE TABLE t(a); INSERT INTO t VALUES(1); SELECT 'abc",
      "CREATE TABLE t(a); INSERT INTO t VALUES(1) /* open",
      "CREATE TABLE t(a); INSERT INTO t VALUES(1);\nINSERT INTO t VALUES(2)",
      // Vertical tabs: whitespace to SQLite in a run of whitespace and after a
      // statement, an unrecognized token elsewhere.
      "CREATE TABLE t(a);\v\vINSERT INTO t VALUES(1);\v",
      "CREATE TABLE t(a);\n \vINSERT INTO t VALUES(1); -- c\n\vSELECT 1;",
      "CREATE TABLE t(a); /* c */\vINSERT INTO t VALUES(1);",
      "\vCREATE TABLE t(a);",
      "CREATE TABLE t(a); ;\vINSERT INTO t VALUES(1);",
      // Many blank lines before a failing statement.
      "CREATE TABLE t(a);" + std::string(3000, '\n') + "INSERT INTO nope VALUES(1);",
  };
  scripts.insert(scripts.end(), std::begin(more), std::end(more));
  return scripts;
}

const std::vector<std::string> kScripts = Scripts();

template <typename Run>
Outcome RunOnFreshDatabase(const std::string& script, Run run) {
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
  Outcome o;
  o.ok = run(db, script.c_str());
  o.code = sqlite3_errcode(db);
  o.text = sqlite3_errmsg(db);
  o.changes = sqlite3_total_changes(db);
  o.contents = Contents(db);
  sqlite3_close(db);
  return o;
}

// ExecuteScript runs the same statements as sqlite3_exec and stops at the
// same one with the same error code and text.
TEST(SqliteConnection, ExecuteScriptBehavesAsSqliteExec) {
  for (const std::string& script : kScripts) {
    const Outcome by_exec = RunOnFreshDatabase(script, [](sqlite3* db, const char* sql) {
      return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    });
    const Outcome by_steps = RunOnFreshDatabase(script, [](sqlite3* db, const char* sql) {
      SqliteError error;
      FailedStatement failed;
      const bool ok = ExecuteScript(db, sql, &error, &failed);
      if (!ok) {
        EXPECT_EQ(error.code, sqlite3_errcode(db));
        EXPECT_EQ(error.text, sqlite3_errmsg(db));
      }
      return ok;
    });
    EXPECT_EQ(by_steps, by_exec) << script;
  }
}

// The line of the file on which the failing statement of `script` begins, as
// ExecuteScript tells it on the whole text; 0 when it does not fail.
std::size_t FailingLineOfWhole(const std::string& script) {
  std::size_t line = 0;
  RunOnFreshDatabase(script, [&line](sqlite3* db, const char* sql) {
    SqliteError error;
    FailedStatement failed;
    if (ExecuteScript(db, sql, &error, &failed)) return true;
    line = LineOf(sql, StatementBegin(sql, failed.from));
    return false;
  });
  return line;
}

// A script handed over in pieces of 1, 7, 64 and 4096 bytes runs the same
// statements as sqlite3_exec on the whole, with the same outcome, and tells
// the same line of a failing statement; cutting never splits a statement.
TEST(SqliteConnection, ScriptStreamBehavesAsSqliteExecOnTheWhole) {
  for (const std::string& script : kScripts) {
    const Outcome by_exec = RunOnFreshDatabase(script, [](sqlite3* db, const char* sql) {
      return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    });
    const std::size_t line = FailingLineOfWhole(script);
    for (const std::size_t piece : {1, 7, 64, 4096}) {
      std::size_t streamed_line = 0;
      const Outcome by_stream =
          RunOnFreshDatabase(script, [piece, &streamed_line](sqlite3* db, const char* sql) {
            CScriptStream stream(db);
            SqliteError error;
            FailedStatement failed;
            const std::string_view text(sql);
            bool ok = true;
            for (std::size_t at = 0; ok && at < text.size(); at += piece) {
              ok = stream.Add(text.substr(at, piece), &error, &failed);
            }
            if (ok) ok = stream.Finish(&error, &failed);
            if (!ok) {
              const std::string& part = stream.executed();
              streamed_line =
                  stream.line_feeds_before() + LineOf(part, StatementBegin(part, failed.from));
              EXPECT_EQ(error.code, sqlite3_errcode(db));
            }
            return ok;
          });
      EXPECT_EQ(by_stream, by_exec) << "pieces of " << piece << ": " << script;
      EXPECT_EQ(streamed_line, line) << "pieces of " << piece << ": " << script;
    }
  }
}

// Where the failing statement lies: from where the rest of the script was
// handed over, and to its end when it compiled.
TEST(SqliteConnection, ExecuteScriptTellsWhereTheFailingStatementLies) {
  struct Case {
    const char* script;
    std::size_t from;
    std::size_t end;
  };
  const Case cases[] = {
      {"CREATE TABLE t(a UNIQUE);\nINSERT INTO t VALUES(1);  INSERT INTO t VALUES(1); SELECT 1;",
       52, 76},
      {"SELECT 1; -- c\nINSERT INTO nope VALUES(1); SELECT 2;", 10, std::string::npos},
      {"SELECT 1;", 0, 0},  // no failure: untouched
  };
  for (const Case& c : cases) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
    SqliteError error;
    FailedStatement failed{0, 0};
    ExecuteScript(db, c.script, &error, &failed);
    EXPECT_EQ(failed.from, c.from) << c.script;
    EXPECT_EQ(failed.end, c.end) << c.script;
    sqlite3_close(db);
  }
}

// Creates the database file `path` with the statements `sql` (none: a file
// of no byte).
void CreateDatabase(const std::string& path, const std::string& sql) {
  if (sql.empty()) {
    plinth_test::WriteFile(path, "");
    return;
  }
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql;
  sqlite3_close(db);
}

// Opened without the key, a keyed file does not read, whatever its header;
// a plain one does, and one of no page holds nothing.
TEST(SqliteConnection, ReadWithoutKeyTellsEncryptedFromPlainFiles) {
  const struct {
    const char* name;
    std::string sql;
    UnkeyedRead read;
  } cases[] = {
      {"keyed", "PRAGMA key = 'k'; PRAGMA kdf_iter = 1000; CREATE TABLE t(a);",
       UnkeyedRead::kEncrypted},
      {"keyed in WAL mode",
       "PRAGMA key = 'k'; PRAGMA kdf_iter = 1000; PRAGMA journal_mode = WAL; CREATE TABLE t(a);",
       UnkeyedRead::kEncrypted},
      {"keyed behind a plain header",
       "PRAGMA key = 'k'; PRAGMA kdf_iter = 1000; PRAGMA cipher_plaintext_header_size = 32; CREATE "
       "TABLE t(a);",
       UnkeyedRead::kEncrypted},
      {"keyed behind a longer plain header",
       "PRAGMA key = 'k'; PRAGMA kdf_iter = 1000; PRAGMA cipher_plaintext_header_size = 96; CREATE "
       "TABLE t(a);",
       UnkeyedRead::kEncrypted},
      {"plain", "CREATE TABLE t(a);", UnkeyedRead::kPlain},
      {"plain without a table", "PRAGMA user_version = 3;", UnkeyedRead::kPlain},
      {"no byte", "", UnkeyedRead::kEmpty},
  };
  plinth_test::ScopedTempDir dir;
  for (const auto& c : cases) {
    const std::string path = dir.Sub(std::string(c.name) + ".db");
    CreateDatabase(path, c.sql);
    SqliteError error;
    EXPECT_EQ(ReadWithoutKey(path, &error), c.read) << c.name << ": " << error.text;
  }
  // A missing file is not created.
  SqliteError error;
  EXPECT_EQ(ReadWithoutKey(dir.Sub("missing.db"), &error), UnkeyedRead::kFailed);
  EXPECT_EQ(error.code, SQLITE_CANTOPEN);
  EXPECT_FALSE(std::filesystem::exists(dir.Sub("missing.db")));
}

TEST(SqliteConnection, DatabaseFileNamesListsEachFileOnce) {
  plinth_test::ScopedTempDir dir;
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(dir.Sub("a.db").c_str(), &db), SQLITE_OK);
  const std::string sql = "ATTACH '" + dir.Sub("b.db") + "' AS b; ATTACH '" + dir.Sub("a.db") +
                          "' AS a2; ATTACH ':memory:' AS m; CREATE TEMP TABLE t(x);";
  ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  EXPECT_EQ(DatabaseFileNames(db), (std::vector<std::string>{dir.Sub("a.db"), dir.Sub("b.db")}));
  sqlite3_close(db);
}

}  // namespace
}  // namespace plinth
