// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include <gtest/gtest.h>

#include <filesystem>

#include "Business/NameCheck.h"
#include "support/TempDir.h"

namespace plinth {
namespace {

TEST(PluginNameProblem, RefusesNamesThatLeaveTheirDirectory) {
  const char* const kOptionLike =
      "it begins with \"-\" (the options --help, -h and --version are given alone)";
  const struct {
    const char* name;
    const char* problem;
  } cases[] = {
      {"inventory", ""},
      {"event.s", ""},
      {"...", ""},
      {".hidden", ""},
      {"a/b", "it contains a path separator"},
      {"..\\sys", "it contains a path separator"},
      {"/", "it contains a path separator"},
      {".", "it is \".\" or \"..\""},
      {"..", "it is \".\" or \"..\""},
      {"in\nINFO forged", "it contains a control character"},
      {"tab\t", "it contains a control character"},
      {"\x01", "it contains a control character"},
      {"del\x7f", "it contains a control character"},
      {"\x1f", "it contains a control character"},
      {"caf\xc3\xa9 \x80", ""},
      // Unicode's line breaks and the C1 controls, as characters of UTF-8.
      {"a\xc2\x85"
       "b",
       "it contains a control character"},
      {"\xc2\x80", "it contains a control character"},
      {"\xc2\x9f", "it contains a control character"},
      {"a\xe2\x80\xa8", "it contains the line separator U+2028"},
      {"a\xe2\x80\xa9", "it contains the paragraph separator U+2029"},
      {"\xc2\xa0\xe2\x80\xa7\xe2\x80\xaa", ""},
      // Bytes 0x80 to 0x9F that are no such character: GBK's "\x81\x85\xd6\xd0"
      // (two characters), a stray byte.
      {"\x81\x85\xd6\xd0", ""},
      {"x\x85", ""},
      {"a-b-", ""},
      {"-x", kOptionLike},
  };
  for (const auto& c : cases) EXPECT_EQ(PluginNameProblem(c.name), c.problem) << c.name;
}

TEST(DatabaseFileNameProblem, RefusesPathsAndSharedDatabases) {
  const struct {
    const char* file;
    const char* plugin;
    const char* problem;
  } cases[] = {
      {"inventory.db", "inventory", ""},
      {"platform.db", "platform", ""},
      {"public.db.bak", "inventory", ""},
      {"../inventory.db", "inventory", "it contains a path separator"},
      {"C:\\x.db", "inventory", "it contains a path separator"},
      {"..", "inventory", "it is \".\" or \"..\""},
      {".", "inventory", "it is \".\" or \"..\""},
      {"public.db", "inventory", "it names the shared database public.db"},
      {"PUBLIC.db", "platform", "it names the shared database public.db"},
      {"platform.db", "inventory", "it names the platform's database platform.db"},
      {"Platform.DB", "event.s", "it names the platform's database platform.db"},
      // Companion files of the shared databases, for every plug-in.
      {"public.db-wal", "inventory", "it names a companion file of the shared database public.db"},
      {"PUBLIC.DB-SHM", "platform", "it names a companion file of the shared database public.db"},
      {"public.db-Journal", "event.s",
       "it names a companion file of the shared database public.db"},
      {"platform.db-wal", "platform",
       "it names a companion file of the platform's database platform.db"},
      {"platform.db-journal", "inventory",
       "it names a companion file of the platform's database platform.db"},
      // Names that only resemble one.
      {"public.db-wal2", "inventory", ""},
      {"public.db-", "inventory", ""},
      {"public.dbwal", "inventory", ""},
      {"-wal", "inventory", ""},
      {"inventory.db-wal", "inventory", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DatabaseFileNameProblem(c.file, c.plugin), c.problem) << c.file << " " << c.plugin;
  }
}

TEST(SpecialDatabaseProblem, RefusesTheSameFileAndCompanionsEitherWay) {
  const struct {
    const char* own;
    const char* special;
    const char* problem;
  } cases[] = {
      {"inv.db", "event.db", ""},
      {"inv.db", "inv.db2", ""},
      {"inv.db-wal2", "inv.db", ""},
      // Letter case is told apart only for ASCII letters, whatever the locale.
      {"\xC9vent.db", "\xE9vent.db", ""},
      {"event.db", "event.db", "it is the database of event.s"},
      {"Event.DB", "event.db", "it is the database of event.s"},
      {"event.db-wal", "event.db", "it is a companion file of the database of event.s"},
      {"EVENT.db-shm", "event.db", "it is a companion file of the database of event.s"},
      {"event.db-journal", "Event.db", "it is a companion file of the database of event.s"},
      {"inv.db", "inv.db-wal", "its companion file inv.db-wal is the database of event.s"},
      {"inv.db", "INV.DB-JOURNAL", "its companion file INV.DB-JOURNAL is the database of event.s"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SpecialDatabaseProblem(c.own, c.special, "event.s"), c.problem)
        << c.own << " " << c.special;
  }
}

// Names that differ but name one file (on Windows an 8.3 short name; here a
// second name or a link) are told apart only where both files exist in the
// data directory.
TEST(DatabaseFileNameProblem, ComparesFilesThatExistInTheDataDirectory) {
  plinth_test::ScopedTempDir data;
  plinth_test::WriteFile(data.Sub("public.db"), "");
  plinth_test::WriteFile(data.Sub("event.db"), "");
  plinth_test::WriteFile(data.Sub("inventory.db"), "");
  std::filesystem::create_hard_link(data.Sub("public.db"), data.Sub("pub.db"));
  std::filesystem::create_symlink(data.Sub("event.db"), data.Sub("ev.db"));
  const std::string dir = data.path().string();

  EXPECT_EQ(DatabaseFileNameProblem("pub.db", "inventory", dir),
            "it names the shared database public.db");
  EXPECT_EQ(DatabaseFileNameProblem("pub.db", "inventory"), "");
  EXPECT_EQ(DatabaseFileNameProblem("inventory.db", "inventory", dir), "");
  EXPECT_EQ(DatabaseFileNameProblem("new.db", "inventory", dir), "");
  EXPECT_EQ(SpecialDatabaseProblem("ev.db", "event.db", "event.s", dir),
            "it is the database of event.s");
  EXPECT_EQ(SpecialDatabaseProblem("ev.db", "event.db", "event.s"), "");
  EXPECT_EQ(SpecialDatabaseProblem("inventory.db", "event.db", "event.s", dir), "");
}

TEST(PlatformDatabaseProblem, RefusesThePlatformsFileAndCompanionsEitherWay) {
  const struct {
    const char* own;
    const char* platform;
    const char* problem;
  } cases[] = {
      {"inv.db", "sys.db", ""},
      {"sys.db", "", ""},
      {"sys.db2", "sys.db", ""},
      {"sys.db", "sys.db", "it names the platform's database sys.db"},
      {"SYS.db", "Sys.DB", "it names the platform's database Sys.DB"},
      {"sys.db-WAL", "sys.db", "it names a companion file of the platform's database sys.db"},
      {"inv.db", "inv.db-journal", "its companion file inv.db-journal is the platform's database"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PlatformDatabaseProblem(c.own, c.platform), c.problem) << c.own << " " << c.platform;
  }
}

}  // namespace
}  // namespace plinth
