// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// The pieces of the check and of long runs: whether a script's text ends
// complete (CheckScript), the file names under which a check reads a
// database, and when a long script reports its progress.
#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>

#include <chrono>
#include <string>
#include <vector>

#include "Business/ScriptRunner.h"
#include "Business/SqliteConnection.h"
#include "Common/ProgressTimer.h"
#include "support/TempDir.h"
#include "unit/LogCapture.h"

namespace plinth {
namespace {

using plinth_test::LogCapture;
using plinth_test::LogLine;

const LogSite kSite{"test", "ScriptCheckTest.cpp", 1};

struct CompletenessCase {
  const char* name;
  std::string text;
  // Where the statement left open begins, and how it is shown ("" when the
  // text ends complete).
  std::string failed_at;
  // RunScript fails with the same lines (it runs the text on an empty
  // database).
  bool run_says_the_same;
  friend void PrintTo(const CompletenessCase& c, std::ostream* os) { *os << c.name; }
};

// Statements enough to fill more than the first block that a script is read
// in, a line each, after a table's creation.
std::string ManyInserts() {
  std::string text = "CREATE TABLE t(a);\n";
  for (int i = 0; i < 3000; ++i) text += "INSERT INTO t VALUES(" + std::to_string(i) + ");\n";
  return text;
}

const CompletenessCase kCompletenessCases[] = {
    {"EndsWithItsSemicolon", "CREATE TABLE t(a);\nINSERT INTO t VALUES(1);\n\n", "", true},
    {"LastStatementWithoutItsSemicolon", "CREATE TABLE t(a);\nINSERT INTO t VALUES(1)\n", "", true},
    {"LastStatementBeforeALineComment", "CREATE TABLE t(a) -- the end", "", true},
    {"BlockCommentLeftOpenAfterTheEnd", "CREATE TABLE t(a);\n/* the end", "", true},
    {"BlockCommentLeftOpenInTheLastStatement", "CREATE TABLE t(a) /* the end", "", true},
    {"CommentsOnly", "-- nothing\n/* at all */\n", "", true},
    {"TriggerWithItsEnd",
     "CREATE TABLE t(a);\nCREATE TRIGGER x AFTER INSERT ON t BEGIN SELECT 1; END", "", true},
    {"ByteOrderMarkThenAStatement",
     "\xEF\xBB\xBF"
     "CREATE TABLE t(a);",
     "", true},
    {"ParenthesisLeftOpen", "CREATE TABLE t(a);\nINSERT INTO t\n  VALUES(1\n",
     "2: INSERT INTO t\\n  VALUES(1", true},
    {"TriggerWithoutItsEnd",
     "CREATE TABLE t(a);\nCREATE TRIGGER x AFTER INSERT ON t BEGIN\n  SELECT 1;\n",
     "2: CREATE TRIGGER x AFTER INSERT ON t BEGIN\\n  SELECT 1;", true},
    {"CutShortInALaterBlock", ManyInserts() + "INSERT INTO t VALUES(",
     "3002: INSERT INTO t VALUES(", true},
    // SQLite's tokenizer says "unrecognized token" here.
    {"LiteralLeftOpen", "CREATE TABLE t(a);\nINSERT INTO t VALUES('x);\n",
     "2: INSERT INTO t VALUES('x);", false},
    {"QuotedNameLeftOpen", "CREATE TABLE \"t(a);", "1: CREATE TABLE \"t(a);", false},
};

class ScriptCompleteness : public ::testing::TestWithParam<CompletenessCase> {};

TEST_P(ScriptCompleteness, IsTheRunsAndLoggedAsItsFailure) {
  const CompletenessCase& c = GetParam();
  plinth_test::ScopedTempDir dir;
  const std::string path = dir.Sub("init_data.sql");
  plinth_test::WriteFile(path, c.text);

  LogCapture check_log;
  EXPECT_EQ(CheckScript(kSite, Script::kInitData, path), c.failed_at.empty());
  const std::vector<LogLine> check_lines = check_log.LinesWithoutNumbers();
  std::vector<LogLine> expected;
  if (!c.failed_at.empty()) {
    expected = {
        {"ERROR",
         "[test]init_data fail,errorcode:1,errinfo:incomplete input[ScriptCheckTest.cpp(*)]"},
        {"ERROR", "[test]" + path + " failed at line " + c.failed_at + "[ScriptCheckTest.cpp(*)]"}};
  }
  EXPECT_EQ(check_lines, expected);

  sqlite3* conn = nullptr;
  ASSERT_EQ(sqlite3_open(":memory:", &conn), SQLITE_OK);
  LogCapture run_log;
  const bool ran = RunScript(kSite, Script::kInitData, conn, path);
  sqlite3_close(conn);
  if (c.run_says_the_same) {
    EXPECT_EQ(ran, c.failed_at.empty());
    EXPECT_EQ(run_log.LinesWithoutNumbers(), check_lines);
  } else {
    EXPECT_FALSE(ran);
  }
}

INSTANTIATE_TEST_SUITE_P(Check, ScriptCompleteness, ::testing::ValuesIn(kCompletenessCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ImmutableFileUri, KeepsThePathWhateverItHolds) {
  EXPECT_EQ(ImmutableFileUri("/data/public.db"), "file:///data/public.db?mode=ro&immutable=1");
  EXPECT_EQ(ImmutableFileUri("//data/public.db"), "file:////data/public.db?mode=ro&immutable=1");
  EXPECT_EQ(ImmutableFileUri("data/public.db"), "file:data/public.db?mode=ro&immutable=1");
  EXPECT_EQ(ImmutableFileUri("/d a/p?1#2%3.db"),
            "file:///d a/p%3F1%232%253.db?mode=ro&immutable=1");
}

// What the URI names is the file at the path, read and never written.
TEST(ImmutableFileUri, AttachesTheFileReadOnly) {
  plinth_test::ScopedTempDir dir;
  const std::string path = dir.Sub("p?1#2%3 é.db");
  sqlite3* writer = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &writer), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(writer, "CREATE TABLE t(a); INSERT INTO t VALUES(7);", nullptr, nullptr,
                         nullptr),
            SQLITE_OK);
  sqlite3_close(writer);

  sqlite3* conn = nullptr;
  SqliteError error;
  ASSERT_TRUE(OpenInMemoryReadOnly(&conn, &error)) << error.text;
  const std::string attach = "ATTACH '" + ImmutableFileUri(path) + "' AS p;";
  EXPECT_TRUE(Execute(conn, attach.c_str(), &error)) << error.text;
  EXPECT_TRUE(Execute(conn, "SELECT a FROM p.t;", &error)) << error.text;
  EXPECT_FALSE(Execute(conn, "INSERT INTO p.t VALUES(8);", &error));
  EXPECT_EQ(error.code & 0xff, SQLITE_READONLY) << error.text;
  const std::string missing = "ATTACH '" + ImmutableFileUri(dir.Sub("none.db")) + "' AS n;";
  EXPECT_FALSE(Execute(conn, missing.c_str(), &error));
  sqlite3_close(conn);
  EXPECT_FALSE(std::filesystem::exists(dir.Sub("none.db")));
}

TEST(ProgressTimer, FirstAfterOnePeriodThenAtMostOnceAPeriod) {
  using std::chrono::milliseconds;
  using std::chrono::seconds;
  const CProgressTimer::Clock::time_point start{seconds(100)};
  CProgressTimer timer(start, seconds(5));
  EXPECT_FALSE(timer.Due(start));
  EXPECT_FALSE(timer.Due(start + milliseconds(4999)));
  EXPECT_TRUE(timer.Due(start + seconds(5)));
  EXPECT_FALSE(timer.Due(start + milliseconds(9999)));
  // Late: the next one is a period after this one.
  EXPECT_TRUE(timer.Due(start + seconds(12)));
  EXPECT_FALSE(timer.Due(start + milliseconds(16999)));
  EXPECT_TRUE(timer.Due(start + seconds(17)));
  EXPECT_EQ(timer.Seconds(start + milliseconds(12999)), 12);
}

}  // namespace
}  // namespace plinth
