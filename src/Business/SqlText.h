// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// The SQL texts the database build executes, built from configured values.
// Values are quoted so that they stay values: a single quote inside a '...'
// literal and a double quote inside a "..." name are doubled.
//
// A statement whose text would be longer than INT_MAX bytes cannot be built
// (printf-style formatting cannot produce it): the builders answer nullopt
// then, before anything of that size is copied.
#ifndef PLINTH_BUSINESS_SQLTEXT_H_
#define PLINTH_BUSINESS_SQLTEXT_H_

#include <optional>
#include <string>
#include <string_view>

namespace plinth {

// True for the settings that carry an encryption key: key, rekey, hexkey and
// hexrekey, whatever the case of their ASCII letters (SQLCipher compares
// pragma names that way).
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
std::optional<SqlStatement> KeyStatement(std::string_view key);

// PRAGMA "<name>" = "<value>";
std::optional<SqlStatement> SettingStatement(std::string_view name, std::string_view value);

// ATTACH DATABASE '<path>' AS <schema>; or, with a `key`, the same with
// KEY '<key>'. `schema` is taken as written: pass QuotedName() for a
// configured name.
std::optional<std::string> AttachStatement(std::string_view path, std::string_view schema,
                                           std::optional<std::string_view> key);

// "<name>", with every double quote doubled.
std::string QuotedName(const std::string& name);

// The form of a script's `statement` (from its first token on) that may appear
// in a log. When it sets a key (PRAGMA key, rekey, hexkey or hexrekey, with or
// without a schema, in any letter case and quoting; ATTACH ... KEY; either
// after EXPLAIN), all that follows the "=", the "(" or KEY is written as
// "***", and what followed the name when neither comes next. Any other
// statement comes back unchanged.
std::string LoggableScriptStatement(std::string_view statement);

// The form of SQLite's error text `error` for a failing script `statement`
// that may appear in a log. SQLite quotes the token it stumbled on in double
// quotes ("near \"'k3y'\": syntax error"); when the statement sets a key (as
// LoggableScriptStatement tells), every quoted part is written "***", as it
// may be the key. Any other error comes back unchanged.
std::string LoggableScriptError(std::string_view statement, const std::string& error);

}  // namespace plinth

#endif  // PLINTH_BUSINESS_SQLTEXT_H_
