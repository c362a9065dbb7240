// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// The tests' way into the database manager: a manager of its own, its
// configuration readers and what they filled in, its connections.
#ifndef PLINTH_TESTS_SUPPORT_MANAGERPEER_H_
#define PLINTH_TESTS_SUPPORT_MANAGERPEER_H_

#include <map>
#include <string>
#include <vector>

#include "Business/InitDBManager.h"

namespace plinth {

// Reaches into a manager of its own, so that each test starts empty.
class CInitDBManagerPeer {
 public:
  CInitDBManagerPeer() : manager_(new CInitDBManager) {}
  ~CInitDBManagerPeer() {
    manager_->UninitManager();
    delete manager_;
  }
  CInitDBManagerPeer(const CInitDBManagerPeer&) = delete;
  CInitDBManagerPeer& operator=(const CInitDBManagerPeer&) = delete;
  CInitDBManager& operator*() { return *manager_; }
  CInitDBManager* operator->() { return manager_; }

  bool ReadPluginDBConfig(const std::string& name) { return manager_->ReadPluginDBConfig(name); }
  bool ReadSpecial(const std::vector<std::string>& names) {
    return manager_->ReadSpecialPluginDBConfig(names);
  }
  bool ReadSQLiteConfig() { return manager_->ReadSQLiteConfig(); }

  const PluginDBConfig& plugin_config() const { return manager_->plugin_config_; }
  const std::map<std::string, PluginDBConfig>& special() const {
    return manager_->special_plugins_;
  }
  const std::map<std::string, std::string>& sqlite_config() const {
    return manager_->sqlite_config_;
  }
  bool need_encrypt() const { return manager_->need_encrypt_; }
  bool inited() const { return manager_->inited_; }
  sqlite3*& db_conn() { return manager_->db_conn_; }
  sqlite3*& public_conn() { return manager_->public_conn; }
  std::map<std::string, sqlite3*>& other_conns() { return manager_->other_conns_; }

 private:
  CInitDBManager* manager_;
};

}  // namespace plinth

#endif  // PLINTH_TESTS_SUPPORT_MANAGERPEER_H_
