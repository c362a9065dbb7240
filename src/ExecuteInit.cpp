// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include "ExecuteInit.h"

#include <algorithm>
#include <vector>

#include "Business/InitDBManager.h"
#include "Common/Log.h"
#include "Config/ToolSetup.h"

namespace plinth {

bool CExecuteInit::ExecInitDB(std::int32_t& err_code, const std::string& plugin_name) {
  CToolSetup* setup = CToolSetup::GetInstance();
  if (!setup->InitSetup()) {
    err_code = 1;
    PLINTH_LOG(5, "[%s]Init Setup failed![%s(%d)]");
    return false;
  }
  const std::vector<std::string> special = setup->GetSpecialPlugins();
  if (std::find(special.begin(), special.end(), plugin_name) != special.end()) {
    PLINTH_LOG(3, "[%s]%s aleady init with platform![%s(%d)]", plugin_name.c_str());
    return true;
  }
  CInitDBManager* manager = CInitDBManager::GetInstance();
  if (!manager->InitManager(plugin_name)) {
    PLINTH_LOG(5, "[%s]manager init failed![%s(%d)]");
    return false;
  }
  if (!manager->RunDBInit()) {
    PLINTH_LOG(5, "[%s]RunDBInit exec failed![%s(%d)]");
    return false;
  }
  if (!manager->UninitManager()) {
    PLINTH_LOG(5, "[%s]manager uninit failed![%s(%d)]");
    return false;
  }
  // The safety net under every way a key could fail to apply.
  if (!manager->VerifyEncryption()) {
    PLINTH_LOG(5, "[%s]encryption check failed![%s(%d)]");
    return false;
  }
  return true;
}

}  // namespace plinth
