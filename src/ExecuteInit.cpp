// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include "ExecuteInit.h"

#include <algorithm>
#include <vector>

#include "Business/InitDBManager.h"
#include "Common/Log.h"
#include "Config/ToolSetup.h"

namespace plinth {
namespace {

// How the first steps of a run or a check ended.
enum class Configured { kFailed, kBuiltWithPlatform, kManagerReady };

// The first steps of ExecInitDB and CheckInitDB, logged for `function`: the
// tool settings (`err_code` 1 when they cannot be loaded), a special plug-in's
// early end, the manager's configuration.
Configured Configure(const std::string& function, std::int32_t& err_code,
                     const std::string& plugin_name) {
  CToolSetup* setup = CToolSetup::GetInstance();
  if (!setup->InitSetup()) {
    err_code = 1;
    PLINTH_LOG_AS(function, LogLevel::kError, "[%s]Init Setup failed![%s(%d)]");
    return Configured::kFailed;
  }
  const std::vector<std::string> special = setup->GetSpecialPlugins();
  if (std::find(special.begin(), special.end(), plugin_name) != special.end()) {
    PLINTH_LOG_AS(function, LogLevel::kInfo, "[%s]%s aleady init with platform![%s(%d)]",
                  plugin_name.c_str());
    return Configured::kBuiltWithPlatform;
  }
  if (!CInitDBManager::GetInstance()->InitManager(plugin_name)) {
    PLINTH_LOG_AS(function, LogLevel::kError, "[%s]manager init failed![%s(%d)]");
    return Configured::kFailed;
  }
  return Configured::kManagerReady;
}

}  // namespace

bool CExecuteInit::ExecInitDB(std::int32_t& err_code, const std::string& plugin_name) {
  const Configured configured = Configure(PLINTH_FUNCTION, err_code, plugin_name);
  if (configured != Configured::kManagerReady) return configured == Configured::kBuiltWithPlatform;
  CInitDBManager* manager = CInitDBManager::GetInstance();
  if (!manager->RunDBInit()) {
    PLINTH_LOG(LogLevel::kError, "[%s]RunDBInit exec failed![%s(%d)]");
    return false;
  }
  if (!manager->UninitManager()) {
    PLINTH_LOG(LogLevel::kError, "[%s]manager uninit failed![%s(%d)]");
    return false;
  }
  // The safety net under every way a key could fail to apply.
  if (!manager->VerifyEncryption()) {
    PLINTH_LOG(LogLevel::kError, "[%s]encryption check failed![%s(%d)]");
    return false;
  }
  return true;
}

bool CExecuteInit::CheckInitDB(std::int32_t& err_code, const std::string& plugin_name) {
  const Configured configured = Configure(PLINTH_FUNCTION, err_code, plugin_name);
  if (configured != Configured::kManagerReady) return configured == Configured::kBuiltWithPlatform;
  if (!CInitDBManager::GetInstance()->CheckDBInit()) {
    PLINTH_LOG(LogLevel::kError, "[%s]CheckDBInit exec failed![%s(%d)]");
    return false;
  }
  return true;
}

}  // namespace plinth
