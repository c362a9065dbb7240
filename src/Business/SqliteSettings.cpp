// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include "Business/SqliteSettings.h"

#include "External/QuillBase.h"

namespace plinth {

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

}  // namespace plinth
