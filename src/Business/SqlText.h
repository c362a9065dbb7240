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

#include "Common/SecretText.h"

namespace plinth {

// True for the settings that carry an encryption key: key, rekey, hexkey,
// hexrekey, textkey and textrekey, whatever the case of their ASCII letters
// (SQLCipher compares pragma names that way).
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

// A statement that carries a derived key, in a buffer wiped after use, and
// the form of it that may appear in a log.
struct SecretStatement {
  CSecretText sql;
  std::string loggable;
};

// PRAGMA key = '<raw>'; with `raw`, a key in SQLCipher's raw-key form
// (x'<hex>'), quoted; the loggable form is KeyStatement's.
std::optional<SecretStatement> RawKeyStatement(const CSecretText& raw);

// PRAGMA "<name>" = "<value>";
std::optional<SqlStatement> SettingStatement(std::string_view name, std::string_view value);

// ATTACH DATABASE '<path>' AS <schema>; or, with a `key`, the same with
// KEY '<key>'. `schema` is taken as written: pass QuotedName() for a
// configured name.
std::optional<std::string> AttachStatement(std::string_view path, std::string_view schema,
                                           std::optional<std::string_view> key);

// ATTACH DATABASE '<path>' AS <schema> KEY '<raw>'; with `raw`, a key in
// SQLCipher's raw-key form, quoted, in a buffer wiped after use.
std::optional<CSecretText> RawKeyAttachStatement(std::string_view path, std::string_view schema,
                                                 const CSecretText& raw);

// "<name>", with every double quote doubled.
std::string QuotedName(const std::string& name);

// The form of a script's text `statement` that may appear in a log: the text
// up to its first key, with the key and all that follows written as "***".
// A key is what follows the KEY of an ATTACH, and the value of a key setting's
// PRAGMA (IsKeySetting; with or without a schema, in any letter case and
// quoting): all that follows the "=" or the "(" after its name, else the
// name. Both are looked for anywhere in the text, whatever comes before them
// (a statement whose ";" is missing runs on into the next one), and in its
// comments. Control characters and non-ASCII bytes count as blanks there, so
// that a byte-order mark glued to ATTACH hides nothing. When the text's
// tokens cannot be trusted (a quote or comment left open, a quoted token
// spanning lines or glued to a word, a quoted name holding a quote or a ";",
// PRAGMA or ATTACH glued to a word), its words are read alone as well: a word
// ending in "key" after PRAGMA or ATTACH is a key's name, even inside a
// literal. A text without a key comes back unchanged.
std::string LoggableScriptStatement(std::string_view statement);

// The form of SQLite's error text `error` for a failing script `statement`
// that may appear in a log. When the statement carries a key (as
// LoggableScriptStatement tells), every part of the error that may be that key
// is written "***": each double-quoted part (SQLite quotes the token it
// stumbled on: "near \"'k3y'\": syntax error"), and every occurrence of what
// follows the key's start in the statement: a literal's text, quoted or not
// (a blob literal's too), anywhere; a name, number or other word where it
// stands as a whole word ("no such column: k3y"), a non-ASCII character read
// as part of a word, as SQLite reads names. Any other error comes back
// unchanged.
std::string LoggableScriptError(std::string_view statement, const std::string& error);

}  // namespace plinth

#endif  // PLINTH_BUSINESS_SQLTEXT_H_
