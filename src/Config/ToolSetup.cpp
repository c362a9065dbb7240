// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include "Config/ToolSetup.h"

#include <iterator>

#include "Common/Log.h"
#include "Common/TextFile.h"
#include "Config/ProductLayout.h"
#include "XmlProto.h"

namespace plinth {

CToolSetup* CToolSetup::GetInstance() {
  // A function-local static: C++ creates it once, on the first call, and a
  // call made meanwhile from another thread waits for it (the guarantee that
  // a mutex and a double check would give), and destroys it at process exit.
  static CToolSetup instance;
  return &instance;
}

bool CToolSetup::InitSetup() {
  s_special_plugins_.assign(std::begin(kSpecialPlugins), std::end(kSpecialPlugins));
  const std::string function = PLINTH_FUNCTION;
  const std::string settings = Quill::Base::StringUtil::UTF82Local(
      SettingsFilePath(Quill::Base::FileUtil::GetCurExeDirUtf8()));
  return ReadSettingsFile(settings, function) && ReadProductDescription(function);
}

bool CToolSetup::ReadSettingsFile(const std::string& path, const std::string& function) {
  // A text that does not parse leaves the document empty: the values are
  // then missing.
  proto::CXmlProto xml;
  if (ReadXmlFile(PLINTH_SITE(function), path, xml) == XmlFileRead::kUnreadable) return false;
  s_db_data_dir_ = xml.GetNodeText("/Configs/SQLiteDataPath", "");
  PLINTH_LOG_AS(function, LogLevel::kInfo, "[%s]s_db_data_dir_: %s[%s(%d)]",
                s_db_data_dir_.c_str());
  if (s_db_data_dir_.empty()) {
    PLINTH_LOG_AS(function, LogLevel::kFatal, "[%s]data path empty.[%s(%d)]");
    return false;
  }
  s_sys_path_ = xml.GetNodeText("/Configs/SYSPath", "");
  PLINTH_LOG_AS(function, LogLevel::kInfo, "[%s]s_sys_path_: %s[%s(%d)]", s_sys_path_.c_str());
  if (s_sys_path_.empty()) {
    PLINTH_LOG_AS(function, LogLevel::kFatal, "[%s]SYS path empty.[%s(%d)]");
    return false;
  }
  return true;
}

bool CToolSetup::ReadProductDescription(const std::string& function) {
  const std::string path = Quill::Base::StringUtil::UTF82Local(ProductDescriptionPath(s_sys_path_));
  proto::CXmlProto xml;
  if (ReadXmlFile(PLINTH_SITE(function), path, xml) == XmlFileRead::kUnreadable) return false;
  s_product_type = xml.GetNodeText("/ProductDescription/Product", "");
  PLINTH_LOG_AS(function, LogLevel::kInfo, "[%s]s_product_type: %s[%s(%d)]",
                s_product_type.c_str());
  if (s_product_type.empty()) {
    PLINTH_LOG_AS(function, LogLevel::kFatal, "[%s]Product type empty.[%s(%d)]");
    return false;
  }
  return true;
}

}  // namespace plinth
