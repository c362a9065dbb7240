// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// The keys of a run's files: each derived once, a new file's with a salt of
// its own, and the passphrase, said once, for a file whose key cannot be
// derived.
#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>

#include <filesystem>
#include <string>
#include <vector>

#include "Business/FileKeys.h"
#include "support/TempDir.h"
#include "unit/LogCapture.h"

namespace plinth {
namespace {

using plinth_test::LogCapture;
using plinth_test::LogLine;

const LogSite kAt{"op", "Op.cpp", 7};
const std::string kPassphrase = "k";
const std::vector<SqliteSetting> kSettings = {{"key", kPassphrase}, {"kdf_iter", "1000"}};
// x'<64 hex digits>' and x'<64 + 32 hex digits>'.
constexpr std::size_t kKeyOnly = 67;
constexpr std::size_t kKeyAndSalt = 99;

class FileKeysTest : public ::testing::Test {
 protected:
  FileKeysTest() { keys_.Plan(kSettings, kPassphrase); }

  const CSecretText* Key(const std::string& name, FileOrigin origin = FileOrigin::kExisting) {
    return keys_.RawKey(kAt, dir_.Sub(name), kPassphrase, origin);
  }

  // Makes the file `name` with SQLite: keyed with the passphrase, or plain.
  void MakeDatabase(const std::string& name, bool keyed) {
    sqlite3* db = nullptr;
    const std::string sql = std::string(keyed ? "PRAGMA key = 'k'; PRAGMA kdf_iter = 1000;" : "") +
                            "CREATE TABLE t(a);";
    ASSERT_EQ(sqlite3_open(dir_.Sub(name).c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
  }

  static LogLine Passphrase(const std::string& path, const std::string& why) {
    return {"INFO", "[op]" + path +
                        " is keyed with the passphrase (a key derivation at every open and "
                        "attach): " +
                        why + "[Op.cpp(*)]"};
  }

  plinth_test::ScopedTempDir dir_;
  CFileKeys keys_;
};

TEST_F(FileKeysTest, EachFileIsDerivedOnceANewOneWithASaltOfItsOwn) {
  MakeDatabase("old.db", true);
  plinth_test::WriteFile(dir_.Sub("empty.db"), "");
  LogCapture capture;
  const CSecretText* old_key = Key("old.db");
  ASSERT_NE(old_key, nullptr);
  EXPECT_EQ(old_key->view().size(), kKeyOnly);
  EXPECT_EQ(Key("old.db"), old_key);

  const CSecretText* missing = Key("missing.db");
  ASSERT_NE(missing, nullptr);
  EXPECT_EQ(missing->view().size(), kKeyAndSalt);
  EXPECT_EQ(Key("missing.db"), missing);
  const CSecretText* empty = Key("empty.db");
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->view().size(), kKeyAndSalt);
  EXPECT_NE(empty->view(), missing->view());

  // A file the run creates afresh gets a new salt, also where one was keyed.
  const std::string before(old_key->view());
  const CSecretText* created = Key("old.db", FileOrigin::kCreated);
  ASSERT_NE(created, nullptr);
  EXPECT_EQ(created->view().size(), kKeyAndSalt);
  EXPECT_NE(created->view().substr(2, 64), before.substr(2, 64));
  EXPECT_EQ(capture.LinesWithoutNumbers(), std::vector<LogLine>{});
}

TEST_F(FileKeysTest, AFileWhoseKeyCannotBeDerivedTakesThePassphraseSaidOnce) {
  MakeDatabase("plain.db", false);
  plinth_test::WriteFile(dir_.Sub("short.db"), std::string(4095, 'x'));
  std::filesystem::create_directory(dir_.path() / "dir.db");
  LogCapture capture;
  for (int i = 0; i < 2; ++i) {
    for (const char* name : {"plain.db", "short.db", "dir.db"}) {
      EXPECT_EQ(Key(name), nullptr) << name;
    }
  }
  EXPECT_EQ(capture.LinesWithoutNumbers(),
            (std::vector<LogLine>{
                Passphrase(dir_.Sub("plain.db"), "it is not encrypted"),
                Passphrase(dir_.Sub("short.db"), "it is shorter than its first page"),
                Passphrase(dir_.Sub("dir.db"), "it cannot be opened: Is a directory")}));
}

TEST_F(FileKeysTest, SettingsWithoutADerivationTakeThePassphraseSaidOnceARun) {
  keys_.Plan({{"key", kPassphrase}, {"KDF_ITER", "1000"}}, kPassphrase);
  LogCapture capture;
  EXPECT_EQ(Key("a.db", FileOrigin::kCreated), nullptr);
  EXPECT_EQ(Key("b.db"), nullptr);
  EXPECT_EQ(capture.LinesWithoutNumbers(),
            (std::vector<LogLine>{{"INFO",
                                   "[op]the database files are keyed with the passphrase (a key "
                                   "derivation at every open and attach): the cipher setting "
                                   "\"KDF_ITER\" is not in lower case[Op.cpp(*)]"}}));
}

}  // namespace
}  // namespace plinth
