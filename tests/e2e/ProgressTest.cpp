// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// The progress of a long script through the real binary: a script still
// running 5 seconds after it started is reported while it runs, also from
// within one long statement; the runs that end sooner log as they always did.
#include <gtest/gtest.h>

#include <string>

#include "e2e/Harness.h"
#include "e2e/TestUtil.h"

namespace plinth_e2e {
namespace {

// What a progress line says after the script's path.
const std::string kStillRunning = " still running: ";

// `line` with the number before " s so far" written as "*", that number in
// `*seconds`.
std::string WithoutSeconds(const std::string& line, long* seconds) {
  const std::size_t end = line.rfind(" s so far[");
  const std::size_t begin = line.rfind(", ", end);
  if (end == std::string::npos || begin == std::string::npos) return line;
  *seconds = std::stol(line.substr(begin + 2, end - begin - 2));
  return line.substr(0, begin + 2) + "*" + line.substr(end);
}

Lines ProgressLines(const RunResult& run) {
  Lines lines;
  for (const std::string& line : run.Lines()) {
    if (line.find(kStillRunning) != std::string::npos) lines.push_back(line);
  }
  return lines;
}

// The one long statement keeps SQLite busy for 6.5 s by a steady clock
// (test_clock(), read anew each time): one line, from within it, after the
// statement before it completed; the next one would be due at 10 s.
TEST(Progress, LongScriptIsReportedWhileItRuns) {
  ProductTree tree;
  tree.WriteSQLiteConfig({{"key", kKey}, {"kdf_iter", "1000"}});
  tree.InstallExtension("testpoint.func.sqlite.so");
  tree.WriteDBConfig(
      "inv", ProductTree::DBConfigBody("inv", "inv.db",
                                       "<SQLiteFuncDLL><Name>testpoint.func.sqlite.so</Name>"
                                       "</SQLiteFuncDLL>"));
  const std::string script =
      "CREATE TABLE t(n INTEGER);\n"
      "WITH RECURSIVE c(n, since) AS (SELECT 1, test_clock() UNION ALL\n"
      "  SELECT n + 1, since FROM c WHERE test_clock() < since + 6.5)\n"
      "INSERT INTO t SELECT max(n) FROM c;\n";
  tree.Write(tree.ScriptFile("inv", "init_data.sql"), script);

  const RunResult platform = tree.Run({"platform"});
  ASSERT_EQ(platform.exit_code, 0) << platform.Dump();
  EXPECT_EQ(ProgressLines(platform), Lines());

  const RunResult run = tree.Run({"inv"});
  ASSERT_EQ(run.exit_code, 0) << run.Dump();
  const Lines progress = ProgressLines(run);
  ASSERT_EQ(progress.size(), 1u) << run.Dump();
  long seconds = 0;
  const std::string size = std::to_string(script.size());
  EXPECT_EQ(WithoutSeconds(progress[0], &seconds),
            "INFO [plinth::CInitDBManager::SQLiteDBInit]" +
                tree.ScriptFile("inv", "init_data.sql") + kStillRunning + size + " of " + size +
                " bytes read, 1 statements completed, * s so far[InitDBManager.cpp(*)]");
  EXPECT_GE(seconds, 5);
  EXPECT_LE(seconds, 6);
  EXPECT_TRUE(InOrder(run, {"WARN [plinth::CInitDBManager::SQLiteDBInit]Not exists "
                            "create_tables.sql[InitDBManager.cpp(*)]",
                            progress[0], "INFO [main]RUN Plinth SUCCESS.[main.cpp(*)]"}));
  EXPECT_EQ(tree.Query("inv.db", "PRAGMA kdf_iter = 1000; SELECT count(*) FROM t WHERE n > 1;"),
            "1\n");
}

}  // namespace
}  // namespace plinth_e2e
