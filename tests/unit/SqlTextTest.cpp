#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>

#include "Business/SqlText.h"

namespace plinth {
namespace {

TEST(SqlText, KeySettingsAreMaskedInAnyLetterCase) {
  for (const char* name : {"key", "KEY", "Key", "rekey", "ReKey", "hexkey", "HEXREKEY"}) {
    EXPECT_TRUE(IsKeySetting(name)) << name;
    EXPECT_EQ(LoggableValue(name, "secret"), "***") << name;
  }
  for (const char* name : {"", "keys", "akey", "journal_mode", "cipher"}) {
    EXPECT_FALSE(IsKeySetting(name)) << name;
    EXPECT_EQ(LoggableValue(name, "value"), "value") << name;
  }
}

TEST(SqlText, StatementsQuoteTheirValues) {
  const SqlStatement key = KeyStatement("it's");
  EXPECT_EQ(key.sql, "PRAGMA key = 'it''s';");
  EXPECT_EQ(key.loggable, "PRAGMA key = '***';");

  const SqlStatement setting = SettingStatement("journal_mode", "W\"AL");
  EXPECT_EQ(setting.sql, "PRAGMA \"journal_mode\" = \"W\"\"AL\";");
  EXPECT_EQ(setting.loggable, setting.sql);
  EXPECT_EQ(SettingStatement("ReKey", "x").loggable, "PRAGMA \"ReKey\" = \"***\";");

  EXPECT_EQ(QuotedName("my \"db\""), "\"my \"\"db\"\"\"");
  EXPECT_EQ(AttachStatement("/d/o'k/x.db", QuotedName("x"), false, "k"),
            "ATTACH DATABASE '/d/o''k/x.db' AS \"x\";");
  EXPECT_EQ(AttachStatement("/d/p.db", "public", true, "it's"),
            "ATTACH DATABASE '/d/p.db' AS public KEY 'it''s';");
}

// What SQLite makes of the texts: each is one statement that keeps its values.
TEST(SqlText, SqliteReadsTheValuesBack) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
  const std::string attach =
      AttachStatement(":memory:", QuotedName("odd \"name\"; DROP"), false, "");
  char* error = nullptr;
  ASSERT_EQ(sqlite3_exec(db, attach.c_str(), nullptr, nullptr, &error), SQLITE_OK) << error;
  sqlite3_stmt* stmt = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA database_list;", -1, &stmt, nullptr), SQLITE_OK);
  std::vector<std::string> names;
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    names.push_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1)));
  }
  sqlite3_finalize(stmt);
  EXPECT_EQ(names, (std::vector<std::string>{"main", "odd \"name\"; DROP"}));
  sqlite3_close(db);
}

}  // namespace
}  // namespace plinth
