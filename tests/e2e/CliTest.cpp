// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// The options --help, -h and --version, and arguments that look like options,
// through the real binary.
#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>

#include <cstdlib>
#include <sstream>

#include "e2e/Harness.h"
#include "e2e/TestUtil.h"

namespace plinth_e2e {
namespace {

Lines SplitLines(const std::string& text) {
  Lines lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// True when `line` reads "<name> <version>", the version two or more numbers
// joined by dots ("1.13", "1.74.0").
bool IsVersionLine(const std::string& line, const std::string& name) {
  if (line.rfind(name + " ", 0) != 0) return false;
  std::istringstream version(line.substr(name.size() + 1));
  int parts = 0;
  for (std::string part; std::getline(version, part, '.'); ++parts) {
    if (part.empty() || part.find_first_not_of("0123456789") != std::string::npos) return false;
  }
  return parts >= 2 && line.back() != '.';
}

// The SQLCipher version as this test's own connection tells it.
std::string CipherVersion() {
  sqlite3* db = nullptr;
  std::string version;
  if (sqlite3_open(":memory:", &db) == SQLITE_OK) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA cipher_version;", -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
      version = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
    }
    sqlite3_finalize(statement);
  }
  sqlite3_close(db);
  return version;
}

TEST(Cli, HelpPrintsTheUsage) {
  ProductTree tree;
  const RunResult help = tree.Run({"--help"});
  EXPECT_EQ(help.exit_code, 0) << help.Dump();
  EXPECT_EQ(help.std_out, tree.Run({"-h"}).std_out);
  const Lines lines = SplitLines(help.std_out);
  ASSERT_GE(lines.size(), 4u) << help.std_out;
  EXPECT_EQ(Lines(lines.begin(), lines.begin() + 4),
            (Lines{"Usage: Plinth <plug-in>", "       Plinth --check <plug-in>",
                   "       Plinth --help | -h", "       Plinth --version"}));
  // The files that Plinth reads beside it, the log, the single instance and
  // the exit codes.
  for (const char* part :
       {"META_INFO/plinth.log4cxx.properties", "META_INFO/InitSetup.xml",
        "META_INFO/SQLiteConf/SQLiteConfig.xml", "META_INFO/db_init/SQLite/create_public_data.sql",
        "runtime_script/DBConfig.xml", "Product.xml", "logged through log4cxx",
        "Only one Plinth runs at a time", "Exit status: 0", "for a sound --check",
        "1 on\nany failure", "still running after 5 seconds"}) {
    EXPECT_NE(help.std_out.find(part), std::string::npos) << part;
  }
  for (const std::string& line : lines) EXPECT_LE(line.size(), 80u) << line;
}

TEST(Cli, VersionNamesPlinthAndItsLibraries) {
  ProductTree tree;
  const RunResult run = tree.Run({"--version"});
  EXPECT_EQ(run.exit_code, 0) << run.Dump();
  const Lines lines = SplitLines(run.std_out);
  ASSERT_EQ(lines.size(), 6u) << run.std_out;
  EXPECT_TRUE(IsVersionLine(lines[0], "Plinth")) << lines[0];
  EXPECT_EQ(lines[1], "SQLCipher " + CipherVersion());
  EXPECT_EQ(lines[2], std::string("SQLite ") + sqlite3_libversion());
  EXPECT_TRUE(IsVersionLine(lines[3], "log4cxx")) << lines[3];
  EXPECT_TRUE(IsVersionLine(lines[4], "pugixml")) << lines[4];
  EXPECT_TRUE(IsVersionLine(lines[5], "Boost")) << lines[5];
}

// Output that cannot be written is a failure, not a success.
TEST(Cli, UnwritableStandardOutputFails) {
  ProductTree tree;
  const std::string command =
      "'" + tree.bin_dir() + "/Plinth' --version >/dev/full 2>'" + tree.Path("err") + "'";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_EQ(tree.Read("err"), "Plinth: cannot write to standard output: No space left on device\n");
}

class Option : public ::testing::TestWithParam<const char*> {};

// Printing takes no lock, reads no file and writes no log line: it works
// beside a running instance and without any settings.
TEST_P(Option, TouchesNothing) {
  ProductTree tree;
  const RunResult alone = tree.Run({GetParam()});
  EXPECT_EQ(alone.exit_code, 0);
  EXPECT_FALSE(alone.std_out.empty());
  EXPECT_EQ(alone.std_err, "");
  EXPECT_TRUE(alone.log.empty()) << alone.Dump();
  EXPECT_EQ(DirectorySnapshot(tree.tmp_dir()), tree.tmp_dir() + "\n");
  EXPECT_FALSE(tree.Exists(tree.data_dir()));

  RunningInstance running(tree.tmp_dir());
  ASSERT_TRUE(running.held()) << running.error();
  tree.Remove(tree.bin_dir() + "/META_INFO");
  const RunResult beside = tree.Run({GetParam()});
  running.Release();
  EXPECT_EQ(beside.exit_code, 0);
  EXPECT_EQ(beside.std_out, alone.std_out);
  EXPECT_EQ(beside.std_err, "");
  EXPECT_TRUE(beside.log.empty()) << beside.Dump();
}

INSTANTIATE_TEST_SUITE_P(
    Cli, Option, ::testing::Values("--help", "-h", "--version"), [](const auto& info) {
      const std::string option = info.param;
      return std::string(option == "--help" ? "Help" : option == "-h" ? "ShortHelp" : "Version");
    });

// A first argument that begins with "-" and is not an option given alone is
// refused like a plug-in name that would leave its directory; so is a plug-in
// to check that begins with "-".
TEST(Cli, OptionLikeArgumentsAreRefused) {
  const std::vector<std::vector<std::string>> cases = {
      {"-"},
      {"--"},
      {"-x"},
      {"--helpx"},
      {"--Version"},
      {"--version", "extra"},
      {"-h", "-h"},
      {"--Check", "inv"},
      {"--check", "-x"},
      {"--check", "--check"},
  };
  ProductTree tree;
  for (const auto& args : cases) {
    const bool check = args[0] == "--check";
    const std::string name = check ? args[1] : args[0];
    const std::string verb = check ? "CHECK" : "RUN";
    const RunResult run = tree.Run(args);
    EXPECT_EQ(run.exit_code, 1) << name;
    EXPECT_EQ(run.std_out, "") << name;
    EXPECT_EQ(run.Lines(),
              (Lines{"INFO [main]" + verb + " Plinth START.[main.cpp(*)]",
                     "INFO [main]" + name + (check ? " Check." : " Init.") + "[main.cpp(*)]",
                     "ERROR [main]plugin name \"" + name +
                         "\" refused: it begins with \"-\" (the options --help, -h and --version "
                         "are given alone).[main.cpp(*)]",
                     "ERROR [main]" + verb + " Plinth FAILED. input param error![main.cpp(*)]"}))
        << name;
  }
  EXPECT_FALSE(tree.Exists(tree.data_dir()));
}

// --check needs the plug-in to check: without one it is a usage error,
// answered like an option, before any lock, file or log line; with an empty
// one it fails as a run with an empty name does.
TEST(Cli, CheckNeedsAPlugin) {
  ProductTree tree;
  const RunResult alone = tree.Run({"--check"});
  EXPECT_EQ(alone.exit_code, 1);
  EXPECT_EQ(alone.std_out, "");
  EXPECT_EQ(alone.std_err,
            "Plinth: --check needs the plug-in to check: Plinth --check <plug-in>\n");
  EXPECT_TRUE(alone.log.empty()) << alone.Dump();
  EXPECT_EQ(DirectorySnapshot(tree.tmp_dir()), tree.tmp_dir() + "\n");

  const RunResult empty = tree.Run({"--check", ""});
  EXPECT_EQ(empty.exit_code, 1);
  EXPECT_EQ(empty.Lines(),
            (Lines{"INFO [main]CHECK Plinth START.[main.cpp(*)]", "INFO [main] Check.[main.cpp(*)]",
                   "ERROR [main]CHECK Plinth FAILED. input param error![main.cpp(*)]"}));
}

}  // namespace
}  // namespace plinth_e2e
