// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// One key derivation per database file a run keys, where the settings allow
// Plinth to derive the key itself; the passphrase, said once, where they do
// not. Either way every file opens in the sqlcipher shell with the
// passphrase and the settings. Derivations are counted by a library preloaded
// into the run (support/kdf_counter.c): PBKDF2 calls of more than 100
// iterations.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include "e2e/Harness.h"
#include "e2e/TestUtil.h"

namespace plinth_e2e {
namespace {

const std::string kRawKeyForm =
    "x'00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff'";

// A row: the settings besides the key, the key, why the files take the
// passphrase ("" when Plinth derives their keys) and the derivations of the
// runs of kRuns: one per file with Plinth's derivation, else one at every
// open and attach.
struct ProofCase {
  const char* name;
  Settings settings;
  std::string key;
  std::string passphrase_because;
  int derivations[3];
  friend void PrintTo(const ProofCase& c, std::ostream* os) { *os << c.name; }
};

// The platform's run keys public.db, platform.db and event.db; "plain"'s its
// own file, public.db and platform.db; "inv"'s the same and event.db, through
// a connection of its own.
const char* const kRuns[] = {"platform", "plain", "inv"};

const ProofCase kProofCases[] = {
    {"Defaults", {}, kKey, "", {3, 3, 4}},
    {"Compatibility3", {{"cipher_compatibility", "3"}}, kKey, "", {3, 3, 4}},
    {"KdfIter", {{"kdf_iter", "1000"}}, kKey, "", {3, 3, 4}},
    {"PageSize", {{"cipher_page_size", "8192"}, {"kdf_iter", "1000"}}, kKey, "", {3, 3, 4}},
    {"KdfAlgorithm",
     {{"cipher_kdf_algorithm", "PBKDF2_HMAC_SHA256"}, {"kdf_iter", "1000"}},
     kKey,
     "",
     {3, 3, 4}},
    {"KeyWithQuotes", {{"kdf_iter", "1000"}}, "it's ''quoted''", "", {3, 3, 4}},
    // SQLCipher takes the key itself for a raw key: no derivation at all.
    {"KeyInRawKeyForm",
     {{"kdf_iter", "1000"}},
     kRawKeyForm,
     "the key begins with x', which SQLCipher may take for a raw key",
     {0, 0, 0}},
    {"UpperCaseSetting",
     {{"KDF_ITER", "1000"}},
     kKey,
     "the cipher setting \"KDF_ITER\" is not in lower case",
     {9, 4, 8}},
    {"DuplicatedSetting",
     {{"kdf_iter", "1000"}, {"kdf_iter", "1000"}},
     kKey,
     "the cipher setting \"kdf_iter\" is given twice",
     {9, 4, 8}},
    {"SettingOutsideTheAllowList",
     {{"cipher_memory_security", "OFF"}, {"kdf_iter", "1000"}},
     kKey,
     "the cipher setting \"cipher_memory_security\" is not one Plinth derives keys under",
     {9, 4, 8}},
};

// Every file the runs key, with its tables as kTableNames lists them.
const std::pair<const char*, const char*> kFiles[] = {
    {"public.db", "dictionary"}, {"platform.db", "own,product_version"},
    {"event.db", "events"},      {"plain.db", "t"},
    {"inv.db", "stock"},
};

constexpr char kTableNames[] =
    "SELECT group_concat(name, ',') FROM "
    "(SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name);";

std::string XmlEscaped(const std::string& text) {
  std::string escaped;
  for (const char c : text) {
    escaped += c == '\'' ? "&apos;" : c == '"' ? "&quot;" : c == '&' ? "&amp;" : std::string(1, c);
  }
  return escaped;
}

// True when `line` holds `count` hexadecimal digits in a row: a derived key
// or a salt.
bool HoldsHexRun(const std::string& line, std::size_t count) {
  std::size_t run = 0;
  for (const char c : line) {
    run = std::isxdigit(static_cast<unsigned char>(c)) != 0 ? run + 1 : 0;
    if (run == count) return true;
  }
  return false;
}

// The product of kRuns with `settings` and the key `key`.
void WriteProduct(const ProductTree& tree, Settings settings, const std::string& key) {
  settings.emplace_back("key", XmlEscaped(key));
  tree.WriteSQLiteConfig(settings);
  tree.Write(tree.ScriptFile("platform", "create_tables.sql"), "CREATE TABLE own(a);");
  tree.Write(tree.ScriptFile("event.s", "create_tables.sql"), "CREATE TABLE events(name TEXT);");
  tree.WriteDBConfig("plain", ProductTree::DBConfigBody("plain", "plain.db"));
  tree.Write(tree.ScriptFile("plain", "create_tables.sql"), "CREATE TABLE t(a);");
  tree.WriteDBConfig(
      "inv", ProductTree::DBConfigBody(
                 "inv", "inv.db", ProductTree::EventSScripts("<Path>META_INFO/inv/ev.sql</Path>")));
  tree.Write(tree.ScriptFile("inv", "create_tables.sql"), "CREATE TABLE stock(sku TEXT);");
  tree.Write(tree.sys_dir() + "/META_INFO/inv/ev.sql", "INSERT INTO events VALUES('inv');");
}

// Runs `plugin` with the derivation counter preloaded; `*derivations` is set
// to the count.
RunResult CountedRun(const ProductTree& tree, const std::string& plugin, int* derivations) {
  const std::string counts = tree.Path("kdf-" + plugin);
#if defined(__SANITIZE_ADDRESS__)
  // The counter comes before the sanitizer's runtime in the list of libraries.
  const std::string asan =
      std::getenv("ASAN_OPTIONS") != nullptr ? std::getenv("ASAN_OPTIONS") : "";
  if (asan.find("verify_asan_link_order") == std::string::npos) {
    setenv("ASAN_OPTIONS", (asan + ":verify_asan_link_order=0").c_str(), 1);
  }
#endif
  RunResult run = tree.Run(
      {plugin}, {std::string("LD_PRELOAD=") + KDF_COUNTER, "PLINTH_KDF_COUNT_FILE=" + counts});
  const std::string lines = tree.Exists(counts) ? tree.Read(counts) : "";
  *derivations = static_cast<int>(std::count(lines.begin(), lines.end(), '\n'));
  return run;
}

class KeyDerivation : public ::testing::TestWithParam<ProofCase> {};

TEST_P(KeyDerivation, OnePerFileWhereAllowedAndEveryFileReadsBackWithThePassphrase) {
  const ProofCase& c = GetParam();
  ProductTree tree;
  WriteProduct(tree, c.settings, c.key);
  for (std::size_t i = 0; i < std::size(kRuns); ++i) {
    int derivations = -1;
    const RunResult run = CountedRun(tree, kRuns[i], &derivations);
    ASSERT_EQ(run.exit_code, 0) << run.Dump();
    EXPECT_EQ(derivations, c.derivations[i]) << kRuns[i];
    EXPECT_EQ(run.std_err, "");
    EXPECT_TRUE(NowhereInOutput(run, c.key.substr(2, 20)));
    // Nor a derived key or salt.
    for (const std::string& line : run.Lines()) EXPECT_FALSE(HoldsHexRun(line, 32)) << line;
    const std::string site = i == 0 ? "CreatePublicSQLiteDBFile" : "CreateSQLiteDBFile";
    const Lines said = {"INFO [plinth::CInitDBManager::" + site +
                        "]the database files are keyed with the passphrase (a key derivation at "
                        "every open and attach): " +
                        c.passphrase_because + "[InitDBManager.cpp(*)]"};
    Lines lines = run.Lines();
    lines.erase(std::remove_if(lines.begin(), lines.end(),
                               [](const std::string& line) {
                                 return line.find("keyed with the passphrase") == std::string::npos;
                               }),
                lines.end());
    EXPECT_EQ(lines, c.passphrase_because.empty() ? Lines{} : said) << kRuns[i];
  }
  for (const auto& [file, tables] : kFiles) {
    EXPECT_EQ(Shell(tree.data_dir() + "/" + file, c.key, c.settings, kTableNames),
              std::string(tables) + "\n")
        << file;
  }
  EXPECT_EQ(Shell(tree.data_dir() + "/event.db", c.key, c.settings, "SELECT name FROM events;"),
            "inv\n");
}

INSTANTIATE_TEST_SUITE_P(Cipher, KeyDerivation, ::testing::ValuesIn(kProofCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace plinth_e2e
