// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// The key Plinth derives for a file is the key SQLCipher derives from the
// passphrase: a file written with the passphrase opens with the derived key,
// and one written with the derived key and its salt opens with the
// passphrase. The settings under which it derives, and the form SQLCipher
// takes the key in.
#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>

#include <string>
#include <utility>
#include <vector>

#include "Business/KeyDerivation.h"
#include "Common/SecretText.h"
#include "support/TempDir.h"

namespace plinth {
namespace {

using Settings = std::vector<SqliteSetting>;

// `text` as a '...' literal.
std::string Literal(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("''") : std::string(1, c);
  return quoted + "'";
}

// Opens the file at `path` with the key `key` (a passphrase or a raw-key
// text) and the statements `PRAGMA <name> = '<value>';` of `settings` after
// it, as Plinth keys a connection, and runs `sql`: the rows as "a|b" lines, or
// "error: <message>".
std::string RunKeyed(const std::string& path, const std::string& key, const Settings& settings,
                     const std::string& sql) {
  sqlite3* db = nullptr;
  std::string statements = "PRAGMA key = " + Literal(key) + ";";
  for (const SqliteSetting& s : settings) {
    statements += "PRAGMA " + s.name + " = " + Literal(s.value) + ";";
  }
  std::string out;
  auto on_row = [](void* rows, int columns, char** values, char**) {
    std::string& text = *static_cast<std::string*>(rows);
    for (int i = 0; i < columns; ++i) text += (i > 0 ? "|" : "") + std::string(values[i]);
    text += "\n";
    return 0;
  };
  std::string ignored;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK ||
      sqlite3_exec(db, statements.c_str(), on_row, &ignored, nullptr) != SQLITE_OK ||
      sqlite3_exec(db, sql.c_str(), on_row, &out, nullptr) != SQLITE_OK) {
    out = std::string("error: ") + sqlite3_errmsg(db);
  }
  sqlite3_close(db);
  return out;
}

// The first `size` bytes of the file at `path`.
std::string Head(const std::string& path, std::size_t size) {
  return plinth_test::ReadWholeFile(path).substr(0, size);
}

// The raw-key text of the key derived with `params` from `passphrase` and
// `salt`, carrying the salt when `with_salt`.
std::string Derived(const std::string& passphrase, const std::string& salt, const KdfParams& params,
                    bool with_salt) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(salt.data());
  unsigned char key[kKeyBytes];
  EXPECT_TRUE(DeriveKey(passphrase, bytes, params, key));
  return std::string(RawKeyText(key, with_salt ? bytes : nullptr).view());
}

// The settings of a row besides the key, and the passphrase.
struct DerivationCase {
  const char* name;
  Settings settings;
  std::string passphrase;
  friend void PrintTo(const DerivationCase& c, std::ostream* os) { *os << c.name; }
};

const DerivationCase kDerivationCases[] = {
    {"Defaults", {}, "Qz7-unique-k3y-9fX"},
    {"Compatibility3", {{"cipher_compatibility", "3"}}, "Qz7-unique-k3y-9fX"},
    // SQLCipher 1's format: no page HMAC.
    {"Compatibility1", {{"cipher_compatibility", "1"}}, "Qz7-unique-k3y-9fX"},
    {"KdfIter", {{"kdf_iter", "1000"}}, "Qz7-unique-k3y-9fX"},
    {"Sha256", {{"cipher_kdf_algorithm", "PBKDF2_HMAC_SHA256"}, {"kdf_iter", "1000"}}, "k"},
    {"PageSize", {{"cipher_page_size", "8192"}, {"kdf_iter", "1000"}}, "k"},
    {"Combination",
     {{"cipher_compatibility", "3"},
      {"cipher_hmac_algorithm", "HMAC_SHA256"},
      {"cipher_kdf_algorithm", "pbkdf2_hmac_sha512"},
      {"cipher_page_size", "1024"},
      {"cipher_use_hmac", "ON"},
      {"kdf_iter", "1000"}},
     "k"},
    {"QuotesInThePassphrase", {{"kdf_iter", "1000"}}, "it's ''quoted'' \"twice\""},
};

class Derivation : public ::testing::TestWithParam<DerivationCase> {
 protected:
  plinth_test::ScopedTempDir dir_;
};

TEST_P(Derivation, KeyIsTheOneSqlCipherDerivesFromThePassphrase) {
  const DerivationCase& c = GetParam();
  KdfParams params;
  ASSERT_EQ(RawKeyRefusal(c.settings, c.passphrase, &params), "");

  // Written with the passphrase, read with the key derived from its salt.
  const std::string by_passphrase = dir_.Sub("by-passphrase.db");
  ASSERT_EQ(RunKeyed(by_passphrase, c.passphrase, c.settings,
                     "CREATE TABLE t(a); INSERT INTO t VALUES('written');"),
            "");
  const std::string salt = Head(by_passphrase, kSaltBytes);
  EXPECT_EQ(RunKeyed(by_passphrase, Derived(c.passphrase, salt, params, false), c.settings,
                     "SELECT a FROM t;"),
            "written\n");
  std::string other_salt = salt;
  other_salt[0] = static_cast<char>(other_salt[0] ^ 1);
  EXPECT_EQ(RunKeyed(by_passphrase, Derived(c.passphrase, other_salt, params, false), c.settings,
                     "SELECT a FROM t;"),
            "error: file is not a database");

  // Written with the derived key and a salt of Plinth's, read with the
  // passphrase: the file carries that salt.
  unsigned char fresh[kSaltBytes];
  ASSERT_TRUE(RandomSalt(fresh));
  const std::string fresh_salt(reinterpret_cast<const char*>(fresh), kSaltBytes);
  const std::string by_key = dir_.Sub("by-key.db");
  ASSERT_EQ(RunKeyed(by_key, Derived(c.passphrase, fresh_salt, params, true), c.settings,
                     "CREATE TABLE t(a); INSERT INTO t VALUES('written');"),
            "");
  EXPECT_EQ(Head(by_key, kSaltBytes), fresh_salt);
  EXPECT_EQ(RunKeyed(by_key, c.passphrase, c.settings, "SELECT a FROM t;"), "written\n");
}

INSTANTIATE_TEST_SUITE_P(KeyDerivation, Derivation, ::testing::ValuesIn(kDerivationCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(KeyDerivation, SettingsGiveTheDerivation) {
  const struct {
    Settings settings;
    KdfDigest digest;
    int iterations;
    int page_size;
  } cases[] = {
      {{}, KdfDigest::kSha512, 256000, 4096},
      {{{"journal_mode", "WAL"}, {"page_size", "8192"}}, KdfDigest::kSha512, 256000, 4096},
      {{{"cipher_compatibility", "1"}}, KdfDigest::kSha1, 4000, 1024},
      {{{"cipher_compatibility", "2"}}, KdfDigest::kSha1, 4000, 1024},
      {{{"cipher_compatibility", "3"}}, KdfDigest::kSha1, 64000, 1024},
      {{{"cipher_compatibility", "4"}}, KdfDigest::kSha512, 256000, 4096},
      // A setting of its own wins over cipher_compatibility's, whatever the
      // order in the file (SQLCipher applies them in name order).
      {{{"kdf_iter", "0100"}, {"cipher_compatibility", "3"}}, KdfDigest::kSha1, 100, 1024},
      {{{"cipher_kdf_algorithm", "Pbkdf2_Hmac_Sha256"}, {"cipher_compatibility", "4"}},
       KdfDigest::kSha256,
       256000,
       4096},
      {{{"cipher_page_size", "65536"}, {"cipher_compatibility", "2"}},
       KdfDigest::kSha1,
       4000,
       65536},
  };
  for (const auto& c : cases) {
    Settings settings = c.settings;
    settings.push_back({"key", "k"});
    KdfParams params;
    EXPECT_EQ(RawKeyRefusal(settings, "k", &params), "");
    EXPECT_EQ(params.digest, c.digest);
    EXPECT_EQ(params.iterations, c.iterations);
    EXPECT_EQ(params.page_size, c.page_size);
  }
}

TEST(KeyDerivation, OtherCipherSettingsAndRawKeysTakeThePassphrase) {
  const struct {
    Settings settings;
    std::string passphrase;
    const char* refusal;
  } cases[] = {
      {{{"KDF_ITER", "1000"}}, "k", "the cipher setting \"KDF_ITER\" is not in lower case"},
      {{{"Cipher_Page_Size", "4096"}},
       "k",
       "the cipher setting \"Cipher_Page_Size\" is not in lower case"},
      {{{"kdf_iter", "1000"}, {"kdf_iter", "1000"}},
       "k",
       "the cipher setting \"kdf_iter\" is given twice"},
      {{{"cipher_plaintext_header_size", "32"}},
       "k",
       "the cipher setting \"cipher_plaintext_header_size\" is not one Plinth derives keys under"},
      {{{"fast_kdf_iter", "2"}},
       "k",
       "the cipher setting \"fast_kdf_iter\" is not one Plinth derives keys under"},
      {{{"cipher_hmac_salt_mask", "x'3a'"}},
       "k",
       "the cipher setting \"cipher_hmac_salt_mask\" is not one Plinth derives keys under"},
      {{{"cipher_default_kdf_iter", "1000"}},
       "k",
       "the cipher setting \"cipher_default_kdf_iter\" is not one Plinth derives keys under"},
      {{{"Key", "k2"}}, "k", "the cipher setting \"Key\" is not in lower case"},
      {{{"rekey", "k2"}}, "k", "the cipher setting \"rekey\" is not one Plinth derives keys under"},
      {{{"kdf_iter", "1e3"}}, "k", "kdf_iter \"1e3\" is not a count of 1 to 2147483647"},
      {{{"kdf_iter", "0"}}, "k", "kdf_iter \"0\" is not a count of 1 to 2147483647"},
      {{{"kdf_iter", "2147483648"}},
       "k",
       "kdf_iter \"2147483648\" is not a count of 1 to 2147483647"},
      {{{"kdf_iter", " 1000"}}, "k", "kdf_iter \" 1000\" is not a count of 1 to 2147483647"},
      {{{"cipher_compatibility", "5"}}, "k", "cipher_compatibility \"5\" is not 1, 2, 3 or 4"},
      {{{"cipher_kdf_algorithm", "SHA512"}},
       "k",
       "cipher_kdf_algorithm \"SHA512\" is not an algorithm SQLCipher names"},
      {{{"cipher_page_size", "1000"}},
       "k",
       "cipher_page_size \"1000\" is not a power of two from 512 to 65536"},
      {{}, "x'0123'", "the key begins with x', which SQLCipher may take for a raw key"},
      {{}, "X'k", "the key begins with x', which SQLCipher may take for a raw key"},
  };
  for (const auto& c : cases) {
    KdfParams params;
    EXPECT_EQ(RawKeyRefusal(c.settings, c.passphrase, &params), c.refusal);
  }
}

TEST(KeyDerivation, RawKeyTextIsSqlCiphersForm) {
  unsigned char key[kKeyBytes] = {};
  unsigned char salt[kSaltBytes] = {};
  for (std::size_t i = 0; i < kKeyBytes; ++i) key[i] = static_cast<unsigned char>(i * 8 + 7);
  for (std::size_t i = 0; i < kSaltBytes; ++i) salt[i] = static_cast<unsigned char>(0xf0 + i);
  const std::string key_hex = "070f171f272f373f474f575f676f777f878f979fa7afb7bfc7cfd7dfe7eff7ff";
  EXPECT_EQ(RawKeyText(key, nullptr).view(), "x'" + key_hex + "'");
  EXPECT_EQ(RawKeyText(key, salt).view(), "x'" + key_hex + "f0f1f2f3f4f5f6f7f8f9fafbfcfdfeff'");
}

TEST(SecretText, HoldsWhatFitsItsFixedSize) {
  CSecretText text(9);
  EXPECT_TRUE(text.Append("x'", '\''));
  EXPECT_EQ(text.view(), "x''");
  EXPECT_FALSE(text.Append("a'b'c", '\''));
  EXPECT_TRUE(text.Append("ab"));
  const unsigned char bytes[] = {0x0a, 0xff};
  EXPECT_TRUE(text.AppendHex(bytes, 2));
  EXPECT_EQ(std::string(text.c_str()), "x''ab0aff");
  EXPECT_FALSE(text.Append("!"));
  const CSecretText moved(std::move(text));
  EXPECT_EQ(moved.view(), "x''ab0aff");
}

}  // namespace
}  // namespace plinth
