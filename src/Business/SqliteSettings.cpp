// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include "Business/SqliteSettings.h"

#include <algorithm>
#include <string_view>

#include "Business/SqlText.h"
#include "Common/AsciiCase.h"
#include "QuillBase.h"

namespace plinth {
namespace {

// The cipher settings that shape a database file's format, each with its
// process-wide counterpart.
constexpr struct {
  const char* name;
  const char* default_name;
} kFormatSettings[] = {
    {"cipher_compatibility", "cipher_default_compatibility"},
    {"cipher_page_size", "cipher_default_page_size"},
    {"kdf_iter", "cipher_default_kdf_iter"},
    {"cipher_kdf_algorithm", "cipher_default_kdf_algorithm"},
    {"cipher_hmac_algorithm", "cipher_default_hmac_algorithm"},
    {"cipher_use_hmac", "cipher_default_use_hmac"},
    {"cipher_plaintext_header_size", "cipher_default_plaintext_header_size"},
};

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// ASCII letters, digits and "_", not beginning with a digit: a name that
// SQLite reads as one PRAGMA name, as it is written.
bool IsPlainSqlName(std::string_view name) {
  if (name.empty() || (name[0] >= '0' && name[0] <= '9')) return false;
  return std::all_of(name.begin(), name.end(),
                     [](char c) { return IsAsciiLetter(c) || (c >= '0' && c <= '9') || c == '_'; });
}

}  // namespace

std::vector<SqliteSetting> ReadSqliteSettings(proto::CXmlProto& xml) {
  const int count = xml.GetNodeCount("/Configs/Config");
  std::vector<SqliteSetting> settings;
  for (int i = 1; i <= count; ++i) {
    const std::string element = Quill::Base::StringUtil::str_fmt("/Configs/Config[%d]", i);
    settings.push_back(
        {xml.GetNodeAttribute(element, "PRAGMA", ""), xml.GetNodeAttribute(element, "VALUE", "")});
  }
  return settings;
}

bool ConfiguresKey(const SqliteSetting& setting) {
  return setting.name == "key" && !setting.value.empty();
}

void AddSetting(const SqliteSetting& setting, std::map<std::string, std::string>& pragmas) {
  const auto inserted = pragmas.emplace(setting.name, setting.value);
  if (!inserted.second && ConfiguresKey(setting) && inserted.first->second.empty()) {
    inserted.first->second = setting.value;
  }
}

std::string KeyValue(const std::map<std::string, std::string>& pragmas) {
  const auto key = pragmas.find("key");
  return key != pragmas.end() ? key->second : std::string();
}

std::string SettingRefusal(const std::string& name) {
  // SQLCipher leaves a setting it does not know alone: a name like "key " or
  // "main.key" would leave every file unencrypted.
  if (!name.empty() && !IsPlainSqlName(name)) {
    return "it is not a plain SQL name (ASCII letters, digits and \"_\", not beginning with a "
           "digit)";
  }
  // SQLCipher takes "KEY" or "rekey" as the key of the main file only, and
  // the attached files stay keyed otherwise.
  if (name != "key" && IsKeySetting(name)) {
    return "only \"key\" in lower case keys the database files";
  }
  if (EqualsIgnoringAsciiCase(name, "cipher_salt")) {
    return "it would give every database file the same salt";
  }
  if (EqualsIgnoringAsciiCase(name, "cipher_migrate")) return "it rewrites database files";
  if (StartsWithIgnoringAsciiCase(name, "cipher_log")) {
    return "SQLCipher's own log is turned off, Plinth's log says what failed";
  }
  return "";
}

std::string CipherDefaultName(const std::string& name) {
  for (const auto& setting : kFormatSettings) {
    if (EqualsIgnoringAsciiCase(name, setting.name)) return setting.default_name;
  }
  return "";
}

}  // namespace plinth
