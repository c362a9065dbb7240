// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// The tool's own settings: data directory, system directory, product type and
// the special plug-ins.
#ifndef PLINTH_CONFIG_TOOLSETUP_H_
#define PLINTH_CONFIG_TOOLSETUP_H_

#include <string>
#include <vector>

#include "QuillBase.h"

namespace plinth {

class CToolSetup : public Quill::Base::CNoncopyable {
 public:
  // The process-wide instance, created on the first call and destroyed at
  // process exit; never null.
  static CToolSetup* GetInstance();

  // Fixes the special plug-ins (kSpecialPlugins), then reads the data and
  // system directories from META_INFO/InitSetup.xml beside the executable and
  // the product type from Product.xml in the system directory's parent.
  // Returns true when all three are non-empty; on false the values read up to
  // the failing step stay set. Every failure is logged.
  bool InitSetup();

  const std::string& GetDBDataDir() const { return s_db_data_dir_; }
  const std::string& GetSysPath() const { return s_sys_path_; }
  const std::string& GetProductType() const { return s_product_type; }
  const std::vector<std::string>& GetSpecialPlugins() const { return s_special_plugins_; }

 private:
  CToolSetup() = default;
  ~CToolSetup() = default;

  // The two reading steps of InitSetup; they log on behalf of `function`.
  // ReadSettingsFile reads the data and system directories from the settings
  // file at `path` (local code page); ReadProductDescription the product type
  // from Product.xml beside the system directory. Each returns false, logged,
  // when its file cannot be read or a value is empty.
  bool ReadSettingsFile(const std::string& path, const std::string& function);
  bool ReadProductDescription(const std::string& function);

  std::string s_db_data_dir_;
  std::string s_sys_path_;
  std::string s_product_type;
  std::vector<std::string> s_special_plugins_;
};

}  // namespace plinth

#endif  // PLINTH_CONFIG_TOOLSETUP_H_
