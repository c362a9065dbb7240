// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>
#include <sys/mman.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <optional>
#include <string_view>

#include "Business/SqlText.h"

namespace plinth {
namespace {

TEST(SqlText, KeySettingsAreMaskedInAnyLetterCase) {
  for (const char* name :
       {"key", "KEY", "Key", "rekey", "ReKey", "hexkey", "HEXREKEY", "textkey", "TextReKey"}) {
    EXPECT_TRUE(IsKeySetting(name)) << name;
    EXPECT_EQ(LoggableValue(name, "secret"), "***") << name;
  }
  for (const char* name : {"", "keys", "akey", "journal_mode", "cipher"}) {
    EXPECT_FALSE(IsKeySetting(name)) << name;
    EXPECT_EQ(LoggableValue(name, "value"), "value") << name;
  }
}

TEST(SqlText, StatementsQuoteTheirValues) {
  const std::optional<SqlStatement> key = KeyStatement("it's");
  ASSERT_TRUE(key);
  EXPECT_EQ(key->sql, "PRAGMA key = 'it''s';");
  EXPECT_EQ(key->loggable, "PRAGMA key = '***';");

  const std::optional<SqlStatement> setting = SettingStatement("journal_mode", "W\"AL");
  ASSERT_TRUE(setting);
  EXPECT_EQ(setting->sql, "PRAGMA \"journal_mode\" = \"W\"\"AL\";");
  EXPECT_EQ(setting->loggable, setting->sql);
  const std::optional<SqlStatement> rekey = SettingStatement("ReKey", "x");
  ASSERT_TRUE(rekey);
  EXPECT_EQ(rekey->loggable, "PRAGMA \"ReKey\" = \"***\";");

  EXPECT_EQ(QuotedName("my \"db\""), "\"my \"\"db\"\"\"");
  EXPECT_EQ(AttachStatement("/d/o'k/x.db", QuotedName("x"), std::nullopt),
            "ATTACH DATABASE '/d/o''k/x.db' AS \"x\";");
  EXPECT_EQ(AttachStatement("/d/p.db", "public", "it's"),
            "ATTACH DATABASE '/d/p.db' AS public KEY 'it''s';");

  // A derived key in SQLCipher's raw-key form, as a text SQLCipher receives.
  CSecretText raw(6);
  ASSERT_TRUE(raw.Append("x'ab'"));
  const std::optional<SecretStatement> raw_key = RawKeyStatement(raw);
  ASSERT_TRUE(raw_key);
  EXPECT_EQ(raw_key->sql.view(), "PRAGMA key = 'x''ab''';");
  EXPECT_EQ(raw_key->loggable, "PRAGMA key = '***';");
  const std::optional<CSecretText> raw_attach = RawKeyAttachStatement("/d/o'k.db", "public", raw);
  ASSERT_TRUE(raw_attach);
  EXPECT_EQ(raw_attach->view(), "ATTACH DATABASE '/d/o''k.db' AS public KEY 'x''ab''';");
}

// What SQLite makes of the texts: each is one statement that keeps its values.
TEST(SqlText, SqliteReadsTheValuesBack) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
  const std::optional<std::string> attach =
      AttachStatement(":memory:", QuotedName("odd \"name\"; DROP"), std::nullopt);
  ASSERT_TRUE(attach);
  char* error = nullptr;
  ASSERT_EQ(sqlite3_exec(db, attach->c_str(), nullptr, nullptr, &error), SQLITE_OK) << error;
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

// A script's statement that sets a key shows none of what follows the key's
// name; every other statement is shown as it is.
TEST(SqlText, ScriptStatementsThatSetAKeyAreMasked) {
  struct Case {
    const char* statement;
    const char* loggable;
  };
  const Case masked[] = {
      {"PRAGMA key = 'secret';", "PRAGMA key = ***"},
      {"pragma KEY='secret'", "pragma KEY= ***"},
      {"PRAGMA main.rekey('secret');", "PRAGMA main.rekey(***)"},
      {"PRAGMA \"main\" . \"HexKey\" = \"x'secret'\";", "PRAGMA \"main\" . \"HexKey\" = ***"},
      {"PRAGMA [hexrekey] /* c */ = secret", "PRAGMA [hexrekey] /* c */ = ***"},
      {"PRAGMA key 'secret';", "PRAGMA key ***"},
      {"PRAGMA textkey = 'secret';", "PRAGMA textkey = ***"},
      {"PRAGMA main.TextReKey('secret');", "PRAGMA main.TextReKey(***)"},
      {"EXPLAIN QUERY PLAN PRAGMA key = 'secret';", "EXPLAIN QUERY PLAN PRAGMA key = ***"},
      {"ATTACH DATABASE 'k.db' AS k KEY 'secret';", "ATTACH DATABASE 'k.db' AS k KEY ***"},
      {"attach 'a KEY b.db' as x\nkey 'secret' || 'secret'", "attach 'a KEY b.db' as x\nkey ***"},
      // A key in SQLCipher's raw-key form.
      {"PRAGMA key = 'x''0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef''';",
       "PRAGMA key = ***"},
      {"ATTACH 'k.db' AS k KEY \"x'0123456789abcdef0123456789abcdef0123456789abcdef'\";",
       "ATTACH 'k.db' AS k KEY ***"},
  };
  for (const Case& c : masked) {
    EXPECT_EQ(LoggableScriptStatement(c.statement), c.loggable) << c.statement;
  }
  for (const char* unchanged :
       {"PRAGMA key;", "PRAGMA key", "PRAGMA keys = 1;", "PRAGMA journal_mode = WAL;",
        "PRAGMA main.cipher = 'aes';", "ATTACH /* KEY */ 'x.db' AS y;", "SELECT 'PRAGMA key = 1';",
        "INSERT INTO key VALUES(1);", "", "EXPLAIN SELECT 1;"}) {
    EXPECT_EQ(LoggableScriptStatement(unchanged), unchanged);
  }
}

// The text shown of a failing statement may run on into a key statement (its
// ";" missing), or hide one behind what SQLite reads as part of a word or of
// a literal: a key is masked wherever it stands.
TEST(SqlText, KeysAreMaskedWhereverTheyStandInTheText) {
  struct Case {
    const char* text;
    const char* loggable;
  };
  const Case masked[] = {
      {"SELECT 1\nPRAGMA key = 'secret';", "SELECT 1\nPRAGMA key = ***"},
      {"INSERT INTO t VALUES(1)\npragma \"main\".[ReKey]('secret')",
       "INSERT INTO t VALUES(1)\npragma \"main\".[ReKey](***)"},
      {"CREATE TABLE t(a) PRAGMA hexkey \"x'0102'\"", "CREATE TABLE t(a) PRAGMA hexkey ***"},
      {"WITH x AS (SELECT 1) ATTACH 'f.db' AS f KEY 'secret';",
       "WITH x AS (SELECT 1) ATTACH 'f.db' AS f KEY ***"},
      {"SELECT 1; ATTACH 'f.db' AS f KEY x'0102'", "SELECT 1; ATTACH 'f.db' AS f KEY ***"},
      // A byte-order mark, a no-break space or a control character glued to
      // a word: one word to SQLite, two to a reader.
      {"\xEF\xBB\xBF"
       "ATTACH 'f.db' AS f KEY secret",
       "\xEF\xBB\xBF"
       "ATTACH 'f.db' AS f KEY ***"},
      {"SELECT 1\xC2\xA0PRAGMA\xC2\xA0key='secret'", "SELECT 1\xC2\xA0PRAGMA\xC2\xA0key= ***"},
      {"PRAGMA\x01rekey = 'secret'", "PRAGMA\x01rekey = ***"},
      {"ATTACH 'f.db' AS f\xEF\xBB\xBFKEY 'secret'", "ATTACH 'f.db' AS f\xEF\xBB\xBFKEY ***"},
      // Quotes gone astray: the key statement lies inside what SQLite reads
      // as a literal.
      {"INSERT INTO t VALUES('it's');\nPRAGMA key = 'secret';",
       "INSERT INTO t VALUES('it's');\nPRAGMA key ***"},
      {"SELECT 'abc; ATTACH 'f.db' AS f KEY 'secret'", "SELECT 'abc; ATTACH 'f.db' AS f KEY ***"},
      {"SELECT 'a\nPRAGMA rekey = secret';", "SELECT 'a\nPRAGMA rekey ***"},
      {"SELECT 1 /* open\nPRAGMA key = 'secret';", "SELECT 1 /* open\nPRAGMA key ***"},
  };
  for (const Case& c : masked) {
    EXPECT_EQ(LoggableScriptStatement(c.text), c.loggable) << c.text;
  }
  for (const char* unchanged :
       {"CREATE TABLE t(id INTEGER PRIMARY KEY, key TEXT);", "PRAGMA foreign_keys = ON; -- key",
        "SELECT x'00' AS key, 'PRAGMA' AS rekey;", "SELECT 'it''s', \"a\nb\";"}) {
    EXPECT_EQ(LoggableScriptStatement(unchanged), unchanged);
  }
}

// A key statement, with whatever text around it (other statements, their ";"
// missing, quotes and comments left open or closed around it, invisible
// characters glued to it): neither the text shown nor an error that echoes
// the key shows it.
TEST(SqlText, KeysAreNeverShownWhateverSurroundsThem) {
  // The key is quoted so that no literal around it can hold it whole: what a
  // well-formed literal holds is data ("SELECT 'PRAGMA key = 1'").
  const char* const statements[] = {"PRAGMA key = 's3cr3t'", "PRAGMA main.rekey('s3cr3t')",
                                    "pragma \"HexKey\" 's3cr3t'", "ATTACH 'f.db' AS f KEY 's3cr3t'",
                                    "attach 'f' as f key x's3cr3t'"};
  const char* const around[] = {"SELECT 1", "\n",     " ",      ";",
                                "'",        "\"",     "[",      "]",
                                "`",        "--",     "/*",     "*/",
                                "x",        "(",      ")",      "\xEF\xBB\xBF",
                                "\xC2\xA0", "\x01",   "it's",   "WITH x AS (SELECT 1)",
                                "EXPLAIN",  "PRAGMA", "ATTACH", "KEY",
                                "key",      "=",      ".",      "'a''b'",
                                "\"c\"",    "[d]",    "x'00'"};
  std::uint32_t seed = 42;
  const auto next = [&seed](std::size_t n) {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<std::size_t>((seed >> 8) % n);
  };
  const auto some = [&]() {
    std::string text;
    for (std::size_t k = next(5); k > 0; --k) text += around[next(std::size(around))];
    return text;
  };
  for (int i = 0; i < 20000; ++i) {
    const std::string text = some() + statements[next(std::size(statements))] + some();
    ASSERT_EQ(LoggableScriptStatement(text).find("s3cr3t"), std::string::npos) << text;
    for (const char* error : {"no such column: s3cr3t", "near \"s3cr3t\": syntax error"}) {
      ASSERT_EQ(LoggableScriptError(text, error).find("s3cr3t"), std::string::npos) << text;
    }
  }
}

// SQLite's error quotes the token it stumbled on, which in a key statement may
// be the key.
TEST(SqlText, ScriptErrorsOfKeyStatementsHaveTheirQuotedPartsMasked) {
  const struct {
    const char* statement;
    const char* error;
    const char* loggable;
  } cases[] = {
      {"PRAGMA key = x 'k3y';", "near \"'k3y'\": syntax error", "near \"***\": syntax error"},
      {"ATTACH 'a.db' AS a KEY 'k3y", "unrecognized token: \"'k3y\"",
       "unrecognized token: \"***\""},
      {"PRAGMA rekey = 'a\"b';", "\"a\" and \"b\" and \"c", "\"***\" and \"***\" and \"***\""},
      {"PRAGMA nosuch.key = 'k3y';", "unknown database nosuch", "unknown database nosuch"},
      {"INSERT INTO t VALUES('k3y' 'x');", "near \"'x'\": syntax error",
       "near \"'x'\": syntax error"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LoggableScriptError(c.statement, c.error), c.loggable) << c.statement;
  }
}

// SQLite echoes a name or a literal of the key's expression without quotes:
// each is masked wherever the key's value stands in the error.
TEST(SqlText, ScriptErrorsShowNothingOfTheKeysValue) {
  const struct {
    const char* statement;
    const char* error;
    const char* loggable;
  } cases[] = {
      {"ATTACH 'f.db' AS f KEY secret;", "no such column: secret", "no such column: ***"},
      {"ATTACH 'f.db' AS f KEY secret(1);", "no such function: secret", "no such function: ***"},
      {"ATTACH 'f.db' AS f KEY 'k3y' || k3ys", "no such column: k3ys", "no such column: ***"},
      {"ATTACH 'f.db' AS f KEY a;", "no such column: a", "no such column: ***"},
      // SQLite reads a non-ASCII character as part of a name.
      {"ATTACH 'f.db' AS f KEY 密码(1);", "no such function: 密码", "no such function: ***"},
      {"ATTACH 'f.db' AS f KEY 密.码;", "no such column: 密.码", "no such column: ***.***"},
      {"ATTACH 'f.db' AS f KEY -密码;", "no such column: 密码", "no such column: ***"},
      {"ATTACH 'f.db' AS f KEY mötley(1);", "no such function: mötley", "no such function: ***"},
      {"ATTACH 'f.db' AS f KEY 'k3y';", "cannot open k3y.db: k3y", "cannot open ***.db: ***"},
      {"ATTACH 'f.db' AS f KEY x'6b33';", "bad key x'6b33', 6b33", "bad key ***, ***"},
      // A key in SQLCipher's raw-key form, and its hexadecimal digits alone.
      {"ATTACH 'f.db' AS f KEY 'x''0123456789abcdef0123456789abcdef''';",
       "bad key x'0123456789abcdef0123456789abcdef', 0123456789abcdef0123456789abcdef",
       "bad key ***, ***"},
      {"PRAGMA key = 'x''0123456789abcdef0123456789abcdef''';",
       "near \"0123456789abcdef0123456789abcdef\": syntax error; "
       "x'0123456789abcdef0123456789abcdef'",
       "near \"***\": syntax error; ***"},
      // The run-on text carries the key: SQLite's quoted token is masked.
      {"SELECT 1\nATTACH 'f.db' AS f KEY secret", "near \"ATTACH\": syntax error",
       "near \"***\": syntax error"},
      {"INSERT INTO t VALUES('it's');\nPRAGMA key = 'secret';", "no such column: secret",
       "no such column: ***"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LoggableScriptError(c.statement, c.error), c.loggable) << c.statement;
  }
}

// `size` bytes of `fill`, readable at one address but backed by a single
// mebibyte mapped again and again: a text longer than INT_MAX for the price of
// one mebibyte of memory.
class RepeatedBytes {
 public:
  RepeatedBytes(std::size_t size, char fill) {
    constexpr std::size_t kChunk = std::size_t{1} << 20;
    mapped_ = (size + kChunk - 1) / kChunk * kChunk;
    const int fd = ::memfd_create("plinth-sqltext-test", MFD_CLOEXEC);
    if (fd < 0 || ::ftruncate(fd, kChunk) != 0) return;
    void* chunk = ::mmap(nullptr, kChunk, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (chunk != MAP_FAILED) {
      std::memset(chunk, fill, kChunk);
      ::munmap(chunk, kChunk);
      const int flags = MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE;
      // cppcheck-suppress invalidFunctionArg ; an anonymous mapping takes the descriptor -1
      void* base = ::mmap(nullptr, mapped_, PROT_NONE, flags, -1, 0);
      if (base != MAP_FAILED) {
        base_ = static_cast<char*>(base);
        for (std::size_t at = 0; at < mapped_ && base_ != nullptr; at += kChunk) {
          if (::mmap(base_ + at, kChunk, PROT_READ, MAP_SHARED | MAP_FIXED, fd, 0) == MAP_FAILED) {
            ::munmap(base_, mapped_);
            base_ = nullptr;
          }
        }
      }
    }
    ::close(fd);
    size_ = size;
  }
  ~RepeatedBytes() {
    if (base_ != nullptr) ::munmap(base_, mapped_);
  }
  RepeatedBytes(const RepeatedBytes&) = delete;
  RepeatedBytes& operator=(const RepeatedBytes&) = delete;

  bool ok() const { return base_ != nullptr; }
  std::string_view view() const { return {base_, size_}; }

 private:
  char* base_ = nullptr;
  std::size_t size_ = 0;
  std::size_t mapped_ = 0;
};

TEST(SqlText, TextLongerThanIntMaxIsNotBuilt) {
  const RepeatedBytes huge(static_cast<std::size_t>(INT_MAX) - 8, 'a');
  ASSERT_TRUE(huge.ok()) << std::strerror(errno);
  EXPECT_FALSE(KeyStatement(huge.view()));
  EXPECT_FALSE(SettingStatement("cache_size", huge.view()));
  EXPECT_FALSE(SettingStatement(huge.view(), "1"));
  EXPECT_FALSE(AttachStatement(huge.view(), "s", std::nullopt));
  EXPECT_FALSE(AttachStatement("/d/p.db", "public", huge.view()));
  EXPECT_FALSE(RawKeyAttachStatement(huge.view(), "public", CSecretText(0)));
  // Every part counts, and so does their sum.
  EXPECT_FALSE(AttachStatement("/d/p.db", huge.view(), std::nullopt));
  const std::string_view half = huge.view().substr(0, INT_MAX / 2);
  EXPECT_FALSE(AttachStatement(half, half, std::nullopt));
}

}  // namespace
}  // namespace plinth
