// The SQL texts the database build executes, built from configured values.
// Values are quoted so that they stay values: a single quote inside a '...'
// literal and a double quote inside a "..." name are doubled.
#ifndef PLINTH_BUSINESS_SQLTEXT_H_
#define PLINTH_BUSINESS_SQLTEXT_H_

#include <string>

namespace plinth {

// True for the settings that carry an encryption key: key, rekey, hexkey and
// hexrekey, in any letter case (SQLCipher reads pragma names that way).
bool IsKeySetting(const std::string& name);

// The form of a setting's value that may appear in a log: "***" for a key
// setting, else the value itself.
std::string LoggableValue(const std::string& name, const std::string& value);

// A statement, and the form of it that may appear in a log, with the key
// written as "***".
struct SqlStatement {
  std::string sql;
  std::string loggable;
};

// PRAGMA key = '<key>';
SqlStatement KeyStatement(const std::string& key);

// PRAGMA "<name>" = "<value>";
SqlStatement SettingStatement(const std::string& name, const std::string& value);

// ATTACH DATABASE '<path>' AS <schema>; or, when `encrypted`, with KEY '<key>'.
// `schema` is taken as written: pass QuotedName() for a configured name.
std::string AttachStatement(const std::string& path, const std::string& schema, bool encrypted,
                            const std::string& key);

// "<name>", with every double quote doubled.
std::string QuotedName(const std::string& name);

}  // namespace plinth

#endif  // PLINTH_BUSINESS_SQLTEXT_H_
