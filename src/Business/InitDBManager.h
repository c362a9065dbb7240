// The database manager: what one run knows about the databases of the plug-in
// it prepares, and the build of those databases.
#ifndef PLINTH_BUSINESS_INITDBMANAGER_H_
#define PLINTH_BUSINESS_INITDBMANAGER_H_

#include <map>
#include <string>
#include <vector>

#include "Business/PluginDBConfig.h"
#include "External/QuillBase.h"

struct sqlite3;

namespace plinth {

// All maps order their keys byte-wise (as unsigned bytes) and keep the first
// value inserted under a key.
class CInitDBManager : public Quill::Base::CNoncopyable {
 public:
  // The process-wide instance, created on first use; never null.
  static CInitDBManager* GetInstance();

  // Reads the configuration of `plugin_name`, of the special plug-ins and the
  // SQLite settings. Returns true at once when already initialised. On false
  // the step that failed is logged, and what was read stays.
  bool InitManager(const std::string& plugin_name);

  // Builds the plug-in's databases: the data directory, the database files and
  // their connections, the scripts; for "platform" also public.db and the
  // special plug-ins' databases. The first failure ends it with false.
  bool RunDBInit();

  // Closes every connection and clears the configuration. Always true.
  bool UninitManager();

 private:
  template <typename T>
  friend class LazyInstance;
  friend class CInitDBManagerPeer;  // tests

  CInitDBManager() = default;
  ~CInitDBManager() = default;

  bool ReadPluginDBConfig(const std::string& plugin_name);
  bool ReadSpecialPluginDBConfig(const std::vector<std::string>& special_plugins);
  bool ReadSQLiteConfig();

  bool CreateDataDir();
  bool CreatePublicSQLiteDBFile();
  bool CreateSQLiteDBFile();
  bool SQLiteDBInit();
  bool SQLitePublicDBInit();

  bool inited_ = false;
  PluginDBConfig plugin_config_;
  sqlite3* db_conn_ = nullptr;
  sqlite3* public_conn = nullptr;
  std::map<std::string, std::string> sqlite_config_;
  bool need_encrypt_ = false;
  std::map<std::string, PluginDBConfig> special_plugins_;
  std::map<std::string, sqlite3*> other_conns_;
};

}  // namespace plinth

#endif  // PLINTH_BUSINESS_INITDBMANAGER_H_
