#include "Business/SqlText.h"

#include <algorithm>
#include <cctype>

#include "External/QuillBase.h"

namespace plinth {
namespace {

using Quill::Base::StringUtil::str_fmt;

constexpr char kMasked[] = "***";

// `text` with every `quote` doubled.
std::string DoubleQuotes(const std::string& text, char quote) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    out += c;
    if (c == quote) out += c;
  }
  return out;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

bool IsKeySetting(const std::string& name) {
  const std::string lower = Lower(name);
  return lower == "key" || lower == "rekey" || lower == "hexkey" || lower == "hexrekey";
}

std::string LoggableValue(const std::string& name, const std::string& value) {
  return IsKeySetting(name) ? kMasked : value;
}

std::string QuotedName(const std::string& name) { return "\"" + DoubleQuotes(name, '"') + "\""; }

// The statement texts; literal formats, so the compiler checks the arguments.
#define PLINTH_KEY_SQL "PRAGMA key = '%s';"
#define PLINTH_SETTING_SQL "PRAGMA \"%s\" = \"%s\";"

SqlStatement KeyStatement(const std::string& key) {
  return {str_fmt(PLINTH_KEY_SQL, DoubleQuotes(key, '\'').c_str()),
          str_fmt(PLINTH_KEY_SQL, kMasked)};
}

SqlStatement SettingStatement(const std::string& name, const std::string& value) {
  const std::string quoted_name = DoubleQuotes(name, '"');
  const std::string shown = LoggableValue(name, value);
  return {str_fmt(PLINTH_SETTING_SQL, quoted_name.c_str(), DoubleQuotes(value, '"').c_str()),
          str_fmt(PLINTH_SETTING_SQL, quoted_name.c_str(), DoubleQuotes(shown, '"').c_str())};
}

std::string AttachStatement(const std::string& path, const std::string& schema, bool encrypted,
                            const std::string& key) {
  const std::string quoted_path = DoubleQuotes(path, '\'');
  if (!encrypted) {
    return str_fmt("ATTACH DATABASE '%s' AS %s;", quoted_path.c_str(), schema.c_str());
  }
  return str_fmt("ATTACH DATABASE '%s' AS %s KEY '%s';", quoted_path.c_str(), schema.c_str(),
                 DoubleQuotes(key, '\'').c_str());
}

}  // namespace plinth
