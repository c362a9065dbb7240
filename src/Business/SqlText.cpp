// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include "Business/SqlText.h"

#include <climits>
#include <cstring>
#include <initializer_list>

#include "Common/AsciiCase.h"
#include "Common/SqlScan.h"
#include "External/QuillBase.h"

namespace plinth {
namespace {

using Quill::Base::StringUtil::str_fmt;

constexpr char kMasked[] = "***";

// `text` with every `quote` doubled.
std::string DoubleQuotes(std::string_view text, char quote) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    out += c;
    if (c == quote) out += c;
  }
  return out;
}

// A value inserted into a statement text, and the quote that is doubled in
// it ('\0' for none).
struct Part {
  std::string_view text;
  char quote;
};

// The length of `part` once its quotes are doubled, without building it.
std::size_t QuotedSize(const Part& part) {
  std::size_t size = part.text.size();
  if (part.quote == '\0') return size;
  const char* p = part.text.data();
  const char* const end = p + part.text.size();
  while ((p = static_cast<const char*>(std::memchr(p, part.quote, end - p))) != nullptr) {
    ++size;
    ++p;
  }
  return size;
}

// True when `format` with `parts` inserted fits in INT_MAX bytes (the "%s" of
// the format counted in: the sum is an upper bound). The plain sizes are
// summed first, so that a text far too long is not scanned for quotes.
bool Fits(const char* format, std::initializer_list<Part> parts) {
  for (const bool quoted : {false, true}) {
    std::size_t size = std::strlen(format);
    for (const Part& part : parts) {
      const std::size_t part_size = quoted ? QuotedSize(part) : part.text.size();
      if (part_size > static_cast<std::size_t>(INT_MAX) - size) return false;
      size += part_size;
    }
  }
  return true;
}

// `text` as str_fmt answered it; nullopt when formatting failed (str_fmt
// answers "", which none of the formats here can give otherwise).
std::optional<std::string> Built(std::string text) {
  if (text.empty()) return std::nullopt;
  return text;
}

}  // namespace

bool IsKeySetting(const std::string& name) {
  for (const char* key : {"key", "rekey", "hexkey", "hexrekey"}) {
    if (EqualsIgnoringAsciiCase(name, key)) return true;
  }
  return false;
}

std::string LoggableValue(const std::string& name, const std::string& value) {
  return IsKeySetting(name) ? kMasked : value;
}

std::string QuotedName(const std::string& name) { return "\"" + DoubleQuotes(name, '"') + "\""; }

std::string LoggableScriptStatement(std::string_view statement) {
  const auto is_word = [](std::string_view token, const char* word) {
    return EqualsIgnoringAsciiCase(Unquoted(token), word);
  };
  std::size_t pos = 0;
  std::string_view token = NextToken(statement, pos);
  if (is_word(token, "EXPLAIN")) {
    token = NextToken(statement, pos);
    if (is_word(token, "QUERY")) {
      NextToken(statement, pos);  // PLAN
      token = NextToken(statement, pos);
    }
  }
  const auto masked_after = [&](std::size_t end, const char* mask) {
    return std::string(statement.substr(0, end)) + mask;
  };
  if (is_word(token, "ATTACH")) {
    for (token = NextToken(statement, pos); !token.empty(); token = NextToken(statement, pos)) {
      if (is_word(token, "KEY")) return masked_after(pos, " ***");
    }
    return std::string(statement);
  }
  if (!is_word(token, "PRAGMA")) return std::string(statement);
  std::string_view name = NextToken(statement, pos);
  std::size_t after_name = pos;
  std::string_view next = NextToken(statement, pos);
  if (next == ".") {
    name = NextToken(statement, pos);
    after_name = pos;
    next = NextToken(statement, pos);
  }
  if (!IsKeySetting(Unquoted(name)) || next.empty() || next == ";") return std::string(statement);
  if (next == "=") return masked_after(pos, " ***");
  if (next == "(") return masked_after(pos, "***)");
  return masked_after(after_name, " ***");
}

std::string LoggableScriptError(std::string_view statement, const std::string& error) {
  if (LoggableScriptStatement(statement) == statement) return error;
  std::string shown;
  std::size_t from = 0;
  for (std::size_t open = error.find('"'); open != std::string::npos;
       open = error.find('"', from)) {
    const std::size_t close = error.find('"', open + 1);
    shown.append(error, from, open - from).append("\"***\"");
    from = close == std::string::npos ? error.size() : close + 1;
  }
  return shown.append(error, from, std::string::npos);
}

// The statement texts; literal formats, so the compiler checks the arguments.
#define PLINTH_KEY_SQL "PRAGMA key = '%s';"
#define PLINTH_SETTING_SQL "PRAGMA \"%s\" = \"%s\";"
#define PLINTH_ATTACH_SQL "ATTACH DATABASE '%s' AS %s;"
#define PLINTH_ATTACH_KEY_SQL "ATTACH DATABASE '%s' AS %s KEY '%s';"

std::optional<SqlStatement> KeyStatement(std::string_view key) {
  if (!Fits(PLINTH_KEY_SQL, {{key, '\''}})) return std::nullopt;
  std::optional<std::string> sql = Built(str_fmt(PLINTH_KEY_SQL, DoubleQuotes(key, '\'').c_str()));
  if (!sql) return std::nullopt;
  return SqlStatement{std::move(*sql), str_fmt(PLINTH_KEY_SQL, kMasked)};
}

std::optional<SqlStatement> SettingStatement(std::string_view name, std::string_view value) {
  if (!Fits(PLINTH_SETTING_SQL, {{name, '"'}, {value, '"'}})) return std::nullopt;
  const std::string quoted_name = DoubleQuotes(name, '"');
  std::optional<std::string> sql =
      Built(str_fmt(PLINTH_SETTING_SQL, quoted_name.c_str(), DoubleQuotes(value, '"').c_str()));
  if (!sql) return std::nullopt;
  const std::string_view shown = IsKeySetting(std::string(name)) ? kMasked : value;
  return SqlStatement{std::move(*sql), str_fmt(PLINTH_SETTING_SQL, quoted_name.c_str(),
                                               DoubleQuotes(shown, '"').c_str())};
}

std::optional<std::string> AttachStatement(std::string_view path, std::string_view schema,
                                           std::optional<std::string_view> key) {
  if (!key) {
    if (!Fits(PLINTH_ATTACH_SQL, {{path, '\''}, {schema, '\0'}})) return std::nullopt;
    return Built(
        str_fmt(PLINTH_ATTACH_SQL, DoubleQuotes(path, '\'').c_str(), std::string(schema).c_str()));
  }
  if (!Fits(PLINTH_ATTACH_KEY_SQL, {{path, '\''}, {schema, '\0'}, {*key, '\''}})) {
    return std::nullopt;
  }
  return Built(str_fmt(PLINTH_ATTACH_KEY_SQL, DoubleQuotes(path, '\'').c_str(),
                       std::string(schema).c_str(), DoubleQuotes(*key, '\'').c_str()));
}

}  // namespace plinth
