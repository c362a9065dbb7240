#include "Business/InitDBManager.h"

#include <sqlcipher/sqlite3.h>

#include <algorithm>
#include <boost/filesystem.hpp>
#include <boost/system/error_code.hpp>
#include <optional>
#include <utility>

#include "Business/ConnectionSetup.h"
#include "Business/DatabaseFiles.h"
#include "Business/PluginDBConfig.h"
#include "Business/ProductLayout.h"
#include "Business/SqlText.h"
#include "Business/SqliteConnection.h"
#include "Business/SqliteSettings.h"
#include "Common/FileBak.h"
#include "Common/LazyInstance.h"
#include "Common/Log.h"
#include "Common/NameCheck.h"
#include "Common/TextFile.h"
#include "Config/ToolSetup.h"
#include "External/XmlProto.h"
#include "Port/Port.h"

namespace plinth {
namespace {

using Quill::Base::StringUtil::str_fmt;
using Quill::Base::StringUtil::UTF82Local;

// What the connection set-up of an operation reads once: the directories of
// the tool settings, and the connection settings, which borrow the manager's
// `sqlite_config`.
BuildContext ReadBuildContext(const std::map<std::string, std::string>& sqlite_config,
                              bool need_encrypt) {
  const CToolSetup* setup = CToolSetup::GetInstance();
  return {setup->GetDBDataDir(),
          setup->GetSysPath(),
          {need_encrypt, KeyValue(sqlite_config), &sqlite_config}};
}

// True for the plug-ins that open no connections to special plug-ins'
// databases: the special plug-ins themselves, the platform, and
// "deviceaccess.d", a plug-in of the product that never opens one either.
bool OpensNoSpecialConnections(const std::string& plugin_name) {
  std::vector<std::string> excluded = CToolSetup::GetInstance()->GetSpecialPlugins();
  excluded.push_back(kPlatformPlugin);
  excluded.push_back("deviceaccess.d");
  return std::find(excluded.begin(), excluded.end(), plugin_name) != excluded.end();
}

// Logs, on behalf of `function`, that the DBConfig.xml of `record` is in
// error: first why its database file name is refused, when `refusal` says.
void LogDBConfigError(const std::string& function, const PluginDBConfig& record,
                      const std::string& refusal) {
  if (!refusal.empty()) {
    PLINTH_LOG_AS(function, 6, "[%s]%s SQLiteFileName \"%s\" refused: %s.[%s(%d)]",
                  record.plugin_name.c_str(), record.sqlite_file_name.c_str(), refusal.c_str());
  }
  PLINTH_LOG_AS(function, 6, "[%s]%s DBConfig.xml error[%s(%d)]", record.plugin_name.c_str());
}

// Runs the script at `path` (local code page) on `conn`, whole, in one call.
// False when it cannot be read or is not a whole script (logged here), or when
// SQLite refuses it: `report` is then called with SQLite's error.
template <typename Report>
bool RunScript(sqlite3* conn, const std::string& path, const std::string& function, Report report) {
  std::string text;
  if (!ReadTextFile(PLINTH_SITE(function), path, text)) return false;
  // SQLite would stop at a NUL byte and report success for what came before.
  const std::size_t nul = text.find('\0');
  if (nul != std::string::npos) {
    PLINTH_LOG_AS(function, 5, "[%s]sql file %s holds a NUL byte at offset %lu, not run[%s(%d)]",
                  path.c_str(), static_cast<unsigned long>(nul));
    return false;
  }
  // A UTF-8 byte-order mark is not SQL.
  const std::size_t start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  SqliteError error;
  if (Execute(conn, text.c_str() + start, &error)) return true;
  report(error);
  return false;
}

// Runs the plug-in's script `name` of `scripts_dir` (UTF-8, ending with a
// separator) on `conn` when it exists; a missing one is skipped with
// `log_missing`. False when its existence cannot be told, or it fails (logged
// with `log_failure`).
template <typename LogMissing, typename LogFailure>
bool RunOwnScript(sqlite3* conn, const std::string& scripts_dir, const char* name,
                  const std::string& function, LogMissing log_missing, LogFailure log_failure) {
  const std::string path = UTF82Local(scripts_dir + name);
  bool exists = false;
  if (!ExistsOrFail(PLINTH_SITE(function), path, Links::kFollow, &exists)) return false;
  if (!exists) {
    log_missing();
    return true;
  }
  return RunScript(conn, path, function, log_failure);
}

// Runs the plug-in's create_tables.sql and init_data.sql of `scripts_dir` on
// `conn`; a missing one is skipped with a notice.
bool RunOwnScripts(sqlite3* conn, const std::string& scripts_dir, const std::string& function) {
  return RunOwnScript(
             conn, scripts_dir, "create_tables.sql", function,
             [&] { PLINTH_LOG_AS(function, 4, "[%s]Not exists create_tables.sql[%s(%d)]"); },
             [&](const SqliteError& e) {
               PLINTH_LOG_AS(function, 5, "[%s]create_table fail,errorcode:%d,errinfo:%s[%s(%d)]",
                             e.code, e.text.c_str());
             }) &&
         RunOwnScript(
             conn, scripts_dir, "init_data.sql", function,
             [&] { PLINTH_LOG_AS(function, 4, "[%s]Not exists init_data.sql[%s(%d)]"); },
             [&](const SqliteError& e) {
               PLINTH_LOG_AS(function, 5, "[%s]init_data fail,errorcode:%d,errinfo:%s[%s(%d)]",
                             e.code, e.text.c_str());
             });
}

// Runs, for each connection of `conns` in name order, the scripts that
// `scripts` lists for that name. Every script must exist.
bool RunScriptsForOtherPlugins(const std::map<std::string, sqlite3*>& conns,
                               const std::map<std::string, std::vector<std::string>>& scripts,
                               const std::string& function) {
  for (const auto& [name, conn] : conns) {
    if (conn == nullptr) {
      PLINTH_LOG_AS(function, 5, "[%s]%s other_conn is nullptr[%s(%d)]", name.c_str());
      return false;
    }
    const auto listed = scripts.find(name);
    if (listed == scripts.end()) {
      PLINTH_LOG_AS(function, 5, "[%s]Not support sql file for plugin %s[%s(%d)]", name.c_str());
      return false;
    }
    for (const std::string& script : listed->second) {
      bool exists = false;
      if (!ExistsOrFail(PLINTH_SITE(function), script, Links::kFollow, &exists)) return false;
      if (!exists) {
        PLINTH_LOG_AS(function, 5, "[%s]Not exists sql file!%s[%s(%d)]", script.c_str());
        return false;
      }
      const bool ran = RunScript(conn, script, function, [&](const SqliteError& e) {
        PLINTH_LOG_AS(function, 5, "[%s]create_table fail,errorcode:%d,errinfo:%s[%s(%d)]", e.code,
                      e.text.c_str());
      });
      if (!ran) return false;
    }
  }
  return true;
}

}  // namespace

// ===========================================================================

CInitDBManager* CInitDBManager::GetInstance() { return LazyInstance<CInitDBManager>::Get(); }

bool CInitDBManager::InitManager(const std::string& plugin_name) {
  if (inited_) return true;
  if (!ReadPluginDBConfig(plugin_name)) {
    PLINTH_LOG(5, "[%s]ReadPluginDBConfig fail, plugin %s[%s(%d)]", plugin_name.c_str());
    return false;
  }
  if (!ReadSpecialPluginDBConfig(CToolSetup::GetInstance()->GetSpecialPlugins())) {
    PLINTH_LOG(5, "[%s]ReadSpecialPluginDBConfig fail[%s(%d)]");
    return false;
  }
  if (!ReadSQLiteConfig()) {
    PLINTH_LOG(5, "[%s]ReadSQLiteConfig fail[%s(%d)]");
    return false;
  }
  inited_ = true;
  return true;
}

bool CInitDBManager::UninitManager() {
  plugin_config_.plugin_name.clear();
  plugin_config_.schema.clear();
  plugin_config_.sqlite_file_name.clear();
  sqlite_config_.clear();
  need_encrypt_ = false;
  special_plugins_.clear();
  CloseConnection(public_conn);
  CloseConnection(db_conn_);
  for (auto& entry : other_conns_) CloseConnection(entry.second);
  other_conns_.clear();
  inited_ = false;
  return true;
}

bool CInitDBManager::ReadPluginDBConfig(const std::string& plugin_name) {
  const CToolSetup* setup = CToolSetup::GetInstance();
  const std::string sys_path = setup->GetSysPath();
  const std::string product = setup->GetProductType();
  // A text that does not parse leaves the document empty: the required
  // values are then missing.
  proto::CXmlProto xml;
  const std::string path = UTF82Local(DBConfigPath(sys_path, plugin_name));
  if (ReadXmlFile(PLINTH_HERE, path, xml) == XmlFileRead::kUnreadable) return false;
  plugin_config_.plugin_name = plugin_name;
  std::string refusal;
  if (!ReadDatabaseFields(xml, product, plugin_config_, &refusal)) {
    LogDBConfigError(PLINTH_FUNCTION, plugin_config_, refusal);
    return false;
  }
  ReadOtherPluginScripts(xml, product, sys_path, plugin_config_);
  return true;
}

bool CInitDBManager::ReadSpecialPluginDBConfig(const std::vector<std::string>& special_plugins) {
  const std::string function = PLINTH_FUNCTION;
  const CToolSetup* setup = CToolSetup::GetInstance();
  const std::string sys_path = setup->GetSysPath();
  const std::string product = setup->GetProductType();
  for (const std::string& name : special_plugins) {
    proto::CXmlProto xml;
    const std::string path = UTF82Local(DBConfigPath(sys_path, name));
    if (ReadXmlFile(PLINTH_HERE, path, xml) == XmlFileRead::kUnreadable) return false;
    PluginDBConfig record;
    record.plugin_name = name;
    std::string refusal;
    if (!ReadDatabaseFields(xml, product, record, &refusal)) {
      LogDBConfigError(function, record, refusal);
      return false;
    }
    // The plug-in's own file and its companions are removed and created
    // afresh: none of them may be a special plug-in's database or one of its
    // companions.
    refusal =
        SpecialDatabaseProblem(plugin_config_.sqlite_file_name, record.sqlite_file_name, name);
    if (!refusal.empty()) {
      LogDBConfigError(function, plugin_config_, refusal);
      return false;
    }
    special_plugins_.emplace(name, std::move(record));
  }
  return true;
}

bool CInitDBManager::ReadSQLiteConfig() {
  const std::string path = UTF82Local(SQLiteConfigPath(Quill::Base::FileUtil::GetCurExeDirUtf8()));
  // A text that does not parse would give no key: the databases would be
  // built unencrypted.
  proto::CXmlProto xml;
  if (ReadXmlFile(PLINTH_HERE, path, xml) != XmlFileRead::kParsed) return false;
  const std::vector<SqliteSetting> settings = ReadSqliteSettings(xml);
  PLINTH_LOG(3, "[%s]Get %d cnt config in SQLiteConfig.xml[%s(%d)]",
             static_cast<int>(settings.size()));
  for (const SqliteSetting& setting : settings) {
    if (ConfiguresKey(setting)) {
      need_encrypt_ = true;
      PLINTH_LOG(3, "[%s]db file need encrypt[%s(%d)]");
    }
    PLINTH_LOG(3, "[%s]PRAGMA %s = %s[%s(%d)]", setting.name.c_str(),
               LoggableValue(setting.name, setting.value).c_str());
    AddSetting(setting, sqlite_config_);
  }
  return true;
}

bool CInitDBManager::RunDBInit() {
  if (!CreateDataDir()) {
    PLINTH_LOG(5, "[%s]CreateDataDir fail[%s(%d)]");
    return false;
  }
  if (!CreateSQLiteDBFile()) {
    PLINTH_LOG(5, "[%s]CreateSQLiteDBFile fail[%s(%d)]");
    return false;
  }
  if (!SQLiteDBInit()) {
    PLINTH_LOG(5, "[%s]SQLiteDBInit fail[%s(%d)]");
    return false;
  }
  if (plugin_config_.plugin_name != kPlatformPlugin) return true;

  const PluginDBConfig platform_config = plugin_config_;
  for (const auto& [name, record] : special_plugins_) {
    PLINTH_LOG(3, "[%s]Init for special %s.[%s(%d)]", name.c_str());
    plugin_config_ = record;
    if (!CreateSQLiteDBFile()) {
      PLINTH_LOG(5, "[%s]CreateSQLiteDBFile for special %s fail[%s(%d)]", name.c_str());
      return false;
    }
    if (!SQLiteDBInit()) {
      PLINTH_LOG(5, "[%s]SQLiteDBInit for special %s fail[%s(%d)]", name.c_str());
      return false;
    }
  }
  plugin_config_ = platform_config;
  return true;
}

bool CInitDBManager::CreateDataDir() {
  const std::string data_dir = CToolSetup::GetInstance()->GetDBDataDir();
  bool exists = false;
  if (!ExistsOrFail(PLINTH_HERE, data_dir, Links::kFollow, &exists)) return false;
  if (exists) {
    PLINTH_LOG(3, "[%s]data_path aleady exists.[%s(%d)]");
    return true;
  }
  boost::system::error_code ec;
  boost::filesystem::create_directory(data_dir, ec);
  if (ec) {
    PLINTH_LOG(6, "[%s]create_directory fail,errinfo:%s[%s(%d)]", ec.message().c_str());
    return false;
  }
  return true;
}

bool CInitDBManager::CreatePublicSQLiteDBFile() {
  const BuildContext build = ReadBuildContext(sqlite_config_, need_encrypt_);
  const std::string path = InDir(build.data_dir, "public.db");
  PLINTH_LOG(3, "[%s]db file full_path:%s[%s(%d)]", path.c_str());
  if (!RemoveDatabaseFiles(PLINTH_HERE, path, "public.db")) return false;
  if (!OpenConfigured(PLINTH_HERE, path, build.settings, Pragmas::kApply, public_conn)) {
    return false;
  }
  if (!Attach(PLINTH_HERE, public_conn, path, "public", build.settings)) return false;
  SqliteError error;
  if (!EnableExtensionLoading(public_conn, &error)) {
    PLINTH_LOG(5, "[%s]sqlite3_enable_load_extension key fail,errorcode:%d,errinfo:%s[%s(%d)]",
               error.code, error.text.c_str());
    return false;
  }
  if (!LoadExtension(public_conn, SharedExtensionPath(build.sys_path), &error)) {
    PLINTH_LOG(5, "[%s]sqlite3_load_extension key fail,errorcode:%d,errinfo:%s[%s(%d)]", error.code,
               error.text.c_str());
    return false;
  }
  return true;
}

bool CInitDBManager::CreateSQLiteDBFile() {
  if (plugin_config_.plugin_name == kPlatformPlugin && !CreatePublicSQLiteDBFile()) {
    PLINTH_LOG(6, "[%s]CreatePublicSQLiteDBFile fail[%s(%d)]");
    return false;
  }
  const BuildContext build = ReadBuildContext(sqlite_config_, need_encrypt_);
  const std::string path = InDir(build.data_dir, plugin_config_.sqlite_file_name);
  PLINTH_LOG(3, "[%s]db file full_path:%s[%s(%d)]", path.c_str());
  if (!RemoveDatabaseFiles(PLINTH_HERE, path, plugin_config_.sqlite_file_name)) return false;

  // In the platform's run the connection of the previous build is done with.
  CloseConnection(db_conn_);
  if (!PrepareConnection(PLINTH_HERE, build, path, plugin_config_, Pragmas::kApply, db_conn_)) {
    return false;
  }
  if (OpensNoSpecialConnections(plugin_config_.plugin_name)) return true;
  return OpenSpecialConnections(PLINTH_HERE, build, plugin_config_, special_plugins_, other_conns_);
}

bool CInitDBManager::SQLiteDBInit() {
  const std::string function = PLINTH_FUNCTION;
  if (db_conn_ == nullptr) {
    PLINTH_LOG(5, "[%s]db_conn_ is nullptr[%s(%d)]");
    return false;
  }
  const std::string sys_path = CToolSetup::GetInstance()->GetSysPath();
  if (plugin_config_.plugin_name == kPlatformPlugin) {
    if (!SQLitePublicDBInit()) {
      PLINTH_LOG(6, "[%s]SQLitePublicDBInit fail[%s(%d)]");
      return false;
    }
    const std::string version = UTF82Local(ProductVersionScriptPath(sys_path));
    const bool ran = RunScript(db_conn_, version, function, [&](const SqliteError& e) {
      PLINTH_LOG_AS(function, 5, "[%s]ProductVersionToDB exec fail,errorcode:%d,errinfo:%s[%s(%d)]",
                    e.code, e.text.c_str());
    });
    if (!ran) return false;
  }

  const std::string scripts_dir = PluginScriptsDir(sys_path, plugin_config_.plugin_name);
  return RunOwnScripts(db_conn_, scripts_dir, function) &&
         RunScriptsForOtherPlugins(other_conns_, plugin_config_.other_plugin_scripts, function);
}

bool CInitDBManager::SQLitePublicDBInit() {
  const std::string function = PLINTH_FUNCTION;
  if (public_conn == nullptr) {
    PLINTH_LOG(5, "[%s]public_conn is nullptr[%s(%d)]");
    return false;
  }
  const std::string path =
      UTF82Local(PublicDataScriptPath(Quill::Base::FileUtil::GetCurExeDirUtf8()));
  return RunScript(public_conn, path, function, [&](const SqliteError& e) {
    PLINTH_LOG_AS(function, 5,
                  "[%s]create_public_data.sql exec fail,errorcode:%d,errinfo:%s[%s(%d)]", e.code,
                  e.text.c_str());
  });
}

}  // namespace plinth
