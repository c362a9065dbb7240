// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// A database manager of a test's own, apart from the process-wide one: it
// starts empty whatever an earlier test or fuzz input did with another, and
// releases what it holds (UninitManager) when it goes. It opens to the test
// the manager's reading steps and its state, through the manager's own
// interface for derived classes.
#ifndef PLINTH_TESTS_SUPPORT_FRESHMANAGER_H_
#define PLINTH_TESTS_SUPPORT_FRESHMANAGER_H_

#include "Business/InitDBManager.h"

namespace plinth {

class CFreshManager : public CInitDBManager {
 public:
  CFreshManager() = default;
  ~CFreshManager() { UninitManager(); }
  CFreshManager(const CFreshManager&) = delete;
  CFreshManager& operator=(const CFreshManager&) = delete;

  using CInitDBManager::ReadPluginDBConfig;
  using CInitDBManager::ReadSpecialPluginDBConfig;
  using CInitDBManager::ReadSQLiteConfig;
  using CInitDBManager::state;
};

}  // namespace plinth

#endif  // PLINTH_TESTS_SUPPORT_FRESHMANAGER_H_
