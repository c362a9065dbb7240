// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// Fuzz target of the reading of SQLiteConfig.xml. The input is the file, which
// the database manager's own reader reads, in a small product. Checked:
// - the reader accepts exactly the files that parse and hold no refused
//   setting name;
// - the key never reaches the log: the file is written again with the same
//   settings, every key setting's value replaced by another of the same
//   length, and the reader must log exactly the same lines;
// - every statement built from the settings read (each setting, the key, the
//   attach statements with the key) is one statement to SQLite, which reads
//   back exactly the name, value, path, schema and key that went in, whatever
//   quotes, semicolons or comment marks they hold.
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Business/SqlText.h"
#include "Business/SqliteSettings.h"
#include "Common/FileBak.h"
#include "ConfigProduct.h"
#include "FuzzSupport.h"
#include "QuillBase.h"
#include "SqlProbe.h"
#include "XmlProto.h"

namespace {

using Setting = std::pair<std::string, std::string>;  // PRAGMA, VALUE

// The Config elements in document order, read as the reader reads them.
std::vector<Setting> SettingsOf(proto::CXmlProto& xml) {
  std::vector<Setting> settings;
  const int count = xml.GetNodeCount("/Configs/Config");
  for (int i = 1; i <= count; ++i) {
    const std::string element = Quill::Base::StringUtil::str_fmt("/Configs/Config[%d]", i);
    settings.emplace_back(xml.GetNodeAttribute(element, "PRAGMA", ""),
                          xml.GetNodeAttribute(element, "VALUE", ""));
  }
  return settings;
}

// `text` as an attribute value: what XML or its normalisation of attribute
// values would change is written as a reference.
std::string AttributeText(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\t':
        out += "&#9;";
        break;
      case '\n':
        out += "&#10;";
        break;
      case '\r':
        out += "&#13;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// A text as long as `value` that differs from it in every byte.
std::string OtherValue(const std::string& value) {
  std::string other(value.size(), 'Q');
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == 'Q') other[i] = 'Z';
  }
  return other;
}

// SQLiteConfig.xml with `settings`, the values of key settings replaced. It
// declares an encoding the document class reads byte for byte: a value read
// from a file in such an encoding holds bytes that are no UTF-8, and every
// other value reads back as written too.
std::string WithOtherKeys(const std::vector<Setting>& settings) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"x-bytes\"?><Configs>";
  for (const auto& [name, value] : settings) {
    xml += "<Config PRAGMA=\"";
    xml += AttributeText(name);
    xml += "\" VALUE=\"";
    xml += AttributeText(plinth::IsKeySetting(name) ? OtherValue(value) : value);
    xml += "\"/>";
  }
  return xml + "</Configs>";
}

void CheckPragma(const std::optional<plinth::SqlStatement>& statement, const std::string& name,
                 const std::string& value) {
  FUZZ_CHECK(statement.has_value(), "a statement was not built");
  const plinth_fuzz::ProbedStatement probed = plinth_fuzz::ProbeStatement(statement->sql);
  FUZZ_CHECK(probed.problem.empty(), "not one statement (" + probed.problem + ")");
  FUZZ_CHECK(probed.pragmas.size() == 1, "not one PRAGMA");
  FUZZ_CHECK(probed.pragmas[0].first == name, "SQLite reads another setting name");
  FUZZ_CHECK(probed.pragmas[0].second == value, "SQLite reads another setting value");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  plinth_fuzz::CaptureLog();
  plinth_fuzz::SetUpConfigProduct();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const plinth_fuzz::ConfigProduct& product = plinth_fuzz::SetUpConfigProduct();
  plinth_fuzz::WriteWholeFile(product.sqlite_config,
                              std::string(reinterpret_cast<const char*>(data), size));
  plinth_fuzz::TakeLogLines();
  plinth::CFreshManager manager;
  const bool read = manager.ReadSQLiteConfig();
  const std::vector<std::string> log = plinth_fuzz::TakeLogLines();

  std::string text;
  proto::CXmlProto xml;
  const bool parsed = plinth::CFileBak::ReadFile(text, product.sqlite_config) && xml.Parse(text);
  bool refused = false;
  if (parsed) {
    for (const auto& setting : SettingsOf(xml)) {
      refused = refused || !plinth::SettingRefusal(setting.first).empty();
    }
  }
  FUZZ_CHECK(read == (parsed && !refused),
             "the reader accepts a file that does not parse or holds a refused setting, or "
             "refuses another");
  plinth_fuzz::TakeLogLines();
  if (!read) return 0;

  plinth_fuzz::WriteWholeFile(product.sqlite_config, WithOtherKeys(SettingsOf(xml)));
  plinth::CFreshManager again;
  FUZZ_CHECK(again.ReadSQLiteConfig(), "the settings written again do not read");
  const std::vector<std::string> log_again = plinth_fuzz::TakeLogLines();
  FUZZ_CHECK(log.size() == log_again.size(), "the number of log lines depends on the key");
  for (std::size_t i = 0; i < log.size(); ++i) {
    FUZZ_CHECK(log[i] == log_again[i], "a log line depends on the key: " + log[i]);
  }

  const std::map<std::string, std::string>& pragmas = manager.state().sqlite_config_;
  for (const auto& [name, value] : pragmas) {
    if (name != "key") CheckPragma(plinth::SettingStatement(name, value), name, value);
  }
  std::optional<std::string> key;
  if (manager.state().need_encrypt_) {
    const auto found = pragmas.find("key");
    key = found != pragmas.end() ? found->second : std::string();
    CheckPragma(plinth::KeyStatement(*key), "key", *key);
  }
  const std::string own = product.data_dir + "/inv.db";
  plinth_fuzz::CheckAttach(plinth_fuzz::BuildAttach(own, plinth::QuotedName("inv"), key), own,
                           "inv", key);
  for (const char* shared : {"public", "platform"}) {
    const std::string path = product.data_dir + "/" + shared + ".db";
    plinth_fuzz::CheckAttach(plinth_fuzz::BuildAttach(path, shared, key), path, shared, key);
  }
  return 0;
}
