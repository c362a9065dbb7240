// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// Loads the extension libraries into an in-memory database the way the tool
// does (default entry point) and checks what their functions return.
#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace {

// True when `text` has the shape of `pattern`, in which 'x' stands for a
// lower-case hexadecimal digit, 'v' for one of 8, 9, a, b, 'd' for a decimal
// digit, and every other character for itself.
bool HasShape(const std::string& text, const std::string& pattern) {
  if (text.size() != pattern.size()) {
    return false;
  }
  for (size_t i = 0; i < text.size(); ++i) {
    const std::string_view set = pattern[i] == 'x'   ? "0123456789abcdef"
                                 : pattern[i] == 'v' ? "89ab"
                                 : pattern[i] == 'd' ? "0123456789"
                                                     : std::string_view(&pattern[i], 1);
    if (set.find(text[i]) == std::string_view::npos) {
      return false;
    }
  }
  return true;
}

class Db {
 public:
  Db() {
    EXPECT_EQ(sqlite3_open(":memory:", &db_), SQLITE_OK);
    sqlite3_enable_load_extension(db_, 1);
  }
  ~Db() { sqlite3_close(db_); }
  Db(const Db&) = delete;
  Db& operator=(const Db&) = delete;

  // Loads `library`; returns "" on success, else the text SQLite hands back
  // through the out-parameter (sqlite3_errmsg of the connection does not carry it).
  std::string Load(const char* library) {
    char* err = nullptr;
    const int rc = sqlite3_load_extension(db_, library, nullptr, &err);
    std::string text = rc == SQLITE_OK ? "" : (err ? err : "rc " + std::to_string(rc));
    sqlite3_free(err);
    return text;
  }

  // The first column of the first row of `sql` as text, "NULL" for NULL, or
  // "error: <message>".
  std::string Value(const std::string& sql) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
      return std::string("error: ") + sqlite3_errmsg(db_);
    }
    std::string value;
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW) {
      const unsigned char* text = sqlite3_column_text(stmt, 0);
      value = text ? reinterpret_cast<const char*>(text) : "NULL";
    } else if (rc != SQLITE_DONE) {
      value = std::string("error: ") + sqlite3_errmsg(db_);
    }
    sqlite3_finalize(stmt);
    return value;
  }

 private:
  sqlite3* db_ = nullptr;
};

TEST(SqliteExtTest, LoadsWithTheDefaultEntryPoint) {
  struct Case {
    const char* library;
    const char* error;
  };
  const Case cases[] = {
      {PUBLIC_FUNC_LIB, ""},
      {INVENTORY_FUNC_LIB, ""},
      {FAILING_FUNC_LIB, "error during initialization: failing.func.sqlite refuses to load"},
  };
  for (const Case& c : cases) {
    Db db;
    EXPECT_EQ(db.Load(c.library), c.error) << c.library;
  }
}

// Sets the time zone (TZ) while it lives, and then gives back the one before,
// or none.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone) {
    if (const char* before = std::getenv("TZ")) before_ = before;
    Set(zone);
  }
  ~ScopedTimeZone() { Set(before_ ? before_->c_str() : nullptr); }
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  static void Set(const char* zone) {
    if (zone != nullptr) {
      setenv("TZ", zone, 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

  std::optional<std::string> before_;
};

// What the functions of public.func.sqlite give, as a shape (HasShape; a
// shape without x, v or d is the exact value). A local time zone far from UTC
// shows a clock that reads local time at once.
TEST(SqliteExtTest, PublicFunctions) {
  const ScopedTimeZone far_from_utc("XYZ-14");
  Db db;
  ASSERT_EQ(db.Load(PUBLIC_FUNC_LIB), "");
  const struct {
    const char* sql;
    const char* shape;
  } cases[] = {
      {"SELECT uuid()", "xxxxxxxx-xxxx-4xxx-vxxx-xxxxxxxxxxxx"},  // random, version 4
      {"SELECT uuid() = uuid()", "0"},
      {"SELECT utc_now()", "dddd-dd-ddTdd:dd:ddZ"},
      {"SELECT abs(strftime('%s', utc_now()) - strftime('%s', 'now')) < 3600", "1"},
  };
  for (const auto& c : cases) {
    const std::string value = db.Value(c.sql);
    EXPECT_TRUE(HasShape(value, c.shape)) << c.sql << ": " << value;
  }
}

TEST(SqliteExtTest, SkuChecksum) {
  Db db;
  ASSERT_EQ(db.Load(INVENTORY_FUNC_LIB), "");
  struct Case {
    const char* argument;
    const char* result;
  };
  const Case cases[] = {
      {"'WID-0001'", "2"},  // 3*87+73+3*68+45+3*48+48+3*48+49 = 968
      {"'A'", "5"},         // 3*65 = 195
      {"'AB'", "9"},        // 195+66 = 261
      {"123", "0"},         // as text "123": 3*49+50+3*51 = 350
      {"''", "0"},          // nothing to sum
      {"NULL", "NULL"},     // NULL in, NULL out
  };
  for (const Case& c : cases) {
    EXPECT_EQ(db.Value(std::string("SELECT sku_checksum(") + c.argument + ")"), c.result)
        << c.argument;
  }
}

TEST(SqliteExtTest, OnlySkuChecksumIsDeterministic) {
  Db db;
  ASSERT_EQ(db.Load(PUBLIC_FUNC_LIB), "");
  ASSERT_EQ(db.Load(INVENTORY_FUNC_LIB), "");
  ASSERT_EQ(db.Value("CREATE TABLE t(s TEXT)"), "");
  struct Case {
    const char* expression;
    const char* result;
  };
  const Case cases[] = {
      {"sku_checksum(s)", ""},
      {"uuid()", "error: non-deterministic functions prohibited in index expressions"},
      {"utc_now()", "error: non-deterministic functions prohibited in index expressions"},
  };
  int i = 0;
  for (const Case& c : cases) {
    const std::string sql = "CREATE INDEX i" + std::to_string(i++) + " ON t(" + c.expression + ")";
    EXPECT_EQ(db.Value(sql), c.result) << c.expression;
  }
}

}  // namespace
