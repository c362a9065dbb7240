// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// The SQLite settings of SQLiteConfig.xml: the Config elements below the root
// element Configs, each a PRAGMA name and its VALUE. The readers are plain
// functions over a parsed document and log nothing.
#ifndef PLINTH_BUSINESS_SQLITESETTINGS_H_
#define PLINTH_BUSINESS_SQLITESETTINGS_H_

#include <map>
#include <string>
#include <vector>

#include "XmlProto.h"

namespace plinth {

// One Config element.
struct SqliteSetting {
  std::string name;   // the PRAGMA attribute; "" when missing
  std::string value;  // the VALUE attribute; "" when missing
};

// The Config elements of `xml` in document order; none for an empty document.
std::vector<SqliteSetting> ReadSqliteSettings(proto::CXmlProto& xml);

// True for the setting that makes the database files keyed: the name exactly
// "key" (lower case) and a value that is not empty.
bool ConfiguresKey(const SqliteSetting& setting);

// Adds `setting` to `pragmas`, where a name already present keeps its first
// value; except that a "key" stored empty takes the first key configured
// after it, so that the key applied is the key configured.
void AddSetting(const SqliteSetting& setting, std::map<std::string, std::string>& pragmas);

// The configured key: the value stored under exactly "key"; empty when none.
std::string KeyValue(const std::map<std::string, std::string>& pragmas);

// Why SQLiteConfig.xml may not hold a setting named `name` (ASCII letters in
// any case), as a clause to follow "refused: "; "" when it may. Refused are
// a name that is not empty and not a plain SQL name (ASCII letters, digits
// and "_", not beginning with a digit), every spelling of key, rekey, hexkey,
// hexrekey, textkey and textrekey but "key" itself, cipher_salt (a
// process-wide salt would give every file the same one), cipher_migrate (it
// rewrites existing files) and the cipher_log settings (SQLCipher's own log is
// off; Plinth's log says what failed).
std::string SettingRefusal(const std::string& name);

// The process-wide counterpart of a cipher setting that shapes a file's
// format, for `name` in any letter case: "cipher_default_page_size" for
// "cipher_page_size", "cipher_default_kdf_iter" for "kdf_iter"; "" for every
// other setting. SQLCipher keys every attached file with the process-wide
// values, not with those set on the connection.
std::string CipherDefaultName(const std::string& name);

}  // namespace plinth

#endif  // PLINTH_BUSINESS_SQLITESETTINGS_H_
