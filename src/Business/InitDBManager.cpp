// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include "Business/InitDBManager.h"

#include <algorithm>
#include <boost/filesystem.hpp>
#include <boost/system/error_code.hpp>
#include <functional>
#include <iterator>
#include <utility>

#include "Business/ConnectionSetup.h"
#include "Business/DatabaseFiles.h"
#include "Business/NameCheck.h"
#include "Business/PluginDBConfig.h"
#include "Business/ScriptRunner.h"
#include "Business/SqlText.h"
#include "Business/SqliteConnection.h"
#include "Business/SqliteSettings.h"
#include "Common/ErrorText.h"
#include "Common/Log.h"
#include "Common/TextFile.h"
#include "Config/ProductLayout.h"
#include "Config/ToolSetup.h"
#include "XmlProto.h"

namespace plinth {
namespace {

using Quill::Base::StringUtil::UTF82Local;

// The database a check opens in place of a file: SQLite's in-memory one.
constexpr char kInMemoryDatabase[] = ":memory:";

// The inputs of the connection set-up: the directories of the tool settings
// `setup`, and the connection settings, which borrow `sqlite_config`: the key
// and the run's file keys `keys` when `need_encrypt` (null: SQLCipher derives
// the key from the passphrase itself, as a check lets it), and the ordinary
// settings.
BuildContext MakeBuildContext(const CToolSetup& setup,
                              const std::map<std::string, std::string>& sqlite_config,
                              bool need_encrypt, CFileKeys* keys) {
  ConnectionSettings settings;
  if (need_encrypt) {
    settings.key = KeyValue(sqlite_config);
    settings.keys = keys;
  }
  settings.pragmas = &sqlite_config;
  return {setup.GetDBDataDir(), setup.GetSysPath(), std::move(settings)};
}

// True for the plug-ins that open no connections to special plug-ins'
// databases, those of the exclusion list: the special plug-ins
// `special_plugins` and kPluginsWithoutSpecialConnections.
bool OpensNoSpecialConnections(const std::string& plugin_name,
                               const std::vector<std::string>& special_plugins) {
  std::vector<std::string> excluded = special_plugins;
  excluded.insert(excluded.end(), std::begin(kPluginsWithoutSpecialConnections),
                  std::end(kPluginsWithoutSpecialConnections));
  return std::find(excluded.begin(), excluded.end(), plugin_name) != excluded.end();
}

// The database file name that the platform's DBConfig.xml below `sys_path`
// gives for `product`; "" when the file cannot be read or parsed, or names
// none. Logs nothing: a run that is not the platform's only looks.
std::string PlatformDatabaseFileName(const std::string& sys_path, const std::string& product) {
  proto::CXmlProto xml;
  if (!ReadXmlFileQuietly(UTF82Local(DBConfigPath(sys_path, kPlatformPlugin)), xml)) return "";
  return ReadDatabaseFileName(xml, product);
}

// Logs, on behalf of `function`, that the DBConfig.xml of `record` is in
// error: first why its database file name is refused, when `refusal` says.
void LogDBConfigError(const std::string& function, const PluginDBConfig& record,
                      const std::string& refusal) {
  if (!refusal.empty()) {
    PLINTH_LOG_AS(function, LogLevel::kFatal, "[%s]%s SQLiteFileName \"%s\" refused: %s.[%s(%d)]",
                  record.plugin_name.c_str(), record.sqlite_file_name.c_str(), refusal.c_str());
  }
  PLINTH_LOG_AS(function, LogLevel::kFatal, "[%s]%s DBConfig.xml error[%s(%d)]",
                record.plugin_name.c_str());
}

// Enables extension loading on public.db's connection `conn` and loads the
// shared extension library of the system directory `sys_path` into it,
// logging a failure on behalf of `function`.
bool LoadSharedExtension(const std::string& function, sqlite3* conn, const std::string& sys_path) {
  SqliteError error;
  if (!EnableExtensionLoading(conn, &error)) {
    PLINTH_LOG_AS(function, LogLevel::kError,
                  "[%s]sqlite3_enable_load_extension key fail,%s[%s(%d)]",
                  error.Describe().c_str());
    return false;
  }
  if (!LoadExtension(conn, SharedExtensionPath(sys_path), &error)) {
    PLINTH_LOG_AS(function, LogLevel::kError, "[%s]sqlite3_load_extension key fail,%s[%s(%d)]",
                  error.Describe().c_str());
    return false;
  }
  return true;
}

// Opens an in-memory database into a connection of its own, sets it up as
// `build` sets up a database file (the key; the settings with
// Pragmas::kApply), hands it to `load` and closes it. False, logged at `at`,
// at the first failure.
bool CheckInMemory(const LogSite& at, const BuildContext& build, Pragmas pragmas,
                   const std::function<bool(sqlite3*)>& load) {
  sqlite3* conn = nullptr;
  const bool ok =
      OpenConfigured(at, kInMemoryDatabase, build.settings, pragmas, conn) && load(conn);
  CloseConnection(conn);
  return ok;
}

// Attaches the database file at `path` to `conn` read-only as `schema`, with
// the key of `settings` (AttachReadOnly), when it exists; one that does not
// is not read (a run creates it empty). Logged at `at`.
bool ReadDatabaseIfPresent(const LogSite& at, sqlite3* conn, const std::string& path,
                           const std::string& schema, const ConnectionSettings& settings) {
  bool exists = false;
  if (!ExistsOrFail(at, path, Links::kFollow, &exists)) return false;
  if (!exists) {
    PLINTH_LOG_AT(at, LogLevel::kInfo, "[%s]%s does not exist, not read.[%s(%d)]", path.c_str());
    return true;
  }
  PLINTH_LOG_AT(at, LogLevel::kInfo, "[%s]db file full_path:%s, read-only[%s(%d)]", path.c_str());
  return AttachReadOnly(at, conn, path, schema, settings);
}

// Appends `file` to `files` unless it is there.
void AddOnce(std::string file, std::vector<std::string>& files) {
  if (std::find(files.begin(), files.end(), file) == files.end()) files.push_back(std::move(file));
}

}  // namespace

CInitDBManager* CInitDBManager::GetInstance() {
  // A function-local static, as CToolSetup's: created once on the first call
  // (thread-safe since C++11), destroyed at process exit.
  static CInitDBManager instance;
  return &instance;
}

bool CInitDBManager::InitManager(const std::string& plugin_name) {
  if (inited_) return true;
  if (!ReadPluginDBConfig(plugin_name)) {
    PLINTH_LOG(LogLevel::kError, "[%s]ReadPluginDBConfig fail, plugin %s[%s(%d)]",
               plugin_name.c_str());
    return false;
  }
  if (!ReadSpecialPluginDBConfig(CToolSetup::GetInstance()->GetSpecialPlugins())) {
    PLINTH_LOG(LogLevel::kError, "[%s]ReadSpecialPluginDBConfig fail[%s(%d)]");
    return false;
  }
  if (!ReadSQLiteConfig()) {
    PLINTH_LOG(LogLevel::kError, "[%s]ReadSQLiteConfig fail[%s(%d)]");
    return false;
  }
  inited_ = true;
  return true;
}

bool CInitDBManager::UninitManager() {
  CloseNotingKeyedFiles(public_conn);
  CloseNotingKeyedFiles(db_conn_);
  for (auto& entry : other_conns_) CloseNotingKeyedFiles(entry.second);
  other_conns_.clear();
  run_files_.clear();
  plugin_config_.plugin_name.clear();
  plugin_config_.schema.clear();
  plugin_config_.sqlite_file_name.clear();
  sqlite_config_.clear();
  need_encrypt_ = false;
  special_plugins_.clear();
  file_keys_.Forget();
  inited_ = false;
  return true;
}

bool CInitDBManager::VerifyEncryption() {
  std::vector<std::string> files;
  files.swap(keyed_files_);
  bool encrypted = true;
  for (const std::string& file : files) {
    SqliteError error;
    switch (ReadWithoutKey(file, &error)) {
      case UnkeyedRead::kEncrypted:
      case UnkeyedRead::kEmpty:
        break;
      case UnkeyedRead::kPlain:
        PLINTH_LOG(LogLevel::kError, "[%s]%s reads without the key: it is not encrypted[%s(%d)]",
                   file.c_str());
        encrypted = false;
        break;
      case UnkeyedRead::kFailed:
        PLINTH_LOG(LogLevel::kError, "[%s]cannot tell whether %s is encrypted,%s[%s(%d)]",
                   file.c_str(), error.Describe().c_str());
        encrypted = false;
        break;
    }
  }
  return encrypted;
}

void CInitDBManager::NoteRunFiles(sqlite3* conn) {
  if (conn == nullptr || !need_encrypt_) return;
  for (std::string& file : DatabaseFileNames(conn)) AddOnce(std::move(file), run_files_);
}

void CInitDBManager::CloseNotingKeyedFiles(sqlite3*& conn) {
  if (conn != nullptr && need_encrypt_) {
    for (std::string& file : DatabaseFileNames(conn)) {
      if (std::find(run_files_.begin(), run_files_.end(), file) != run_files_.end()) {
        AddOnce(std::move(file), keyed_files_);
      }
    }
  }
  CloseConnection(conn);
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
  if (!ReadDatabaseFields(xml, product, plugin_config_, &refusal, setup->GetDBDataDir())) {
    LogDBConfigError(PLINTH_FUNCTION, plugin_config_, refusal);
    return false;
  }
  if (plugin_name == kPlatformPlugin) {
    if (plugin_config_.sqlite_file_name != kPlatformDatabase) {
      PLINTH_LOG(LogLevel::kWarn,
                 "[%s]%s SQLiteFileName \"%s\" is not %s: every other plug-in attaches %s, "
                 "which this run does not build.[%s(%d)]",
                 plugin_name.c_str(), plugin_config_.sqlite_file_name.c_str(), kPlatformDatabase,
                 kPlatformDatabase);
    }
  } else {
    // The plug-in's run removes its file: it must not be the platform's,
    // whatever name the platform gave its file.
    refusal =
        PlatformDatabaseProblem(plugin_config_.sqlite_file_name,
                                PlatformDatabaseFileName(sys_path, product), setup->GetDBDataDir());
    if (!refusal.empty()) {
      LogDBConfigError(PLINTH_FUNCTION, plugin_config_, refusal);
      return false;
    }
  }
  ReadOtherPluginScripts(xml, product, sys_path, plugin_config_);
  return true;
}

bool CInitDBManager::ReadSpecialPluginDBConfig(const std::vector<std::string>& special_plugins) {
  const std::string function = PLINTH_FUNCTION;
  const CToolSetup* setup = CToolSetup::GetInstance();
  const std::string sys_path = setup->GetSysPath();
  const std::string product = setup->GetProductType();
  const std::string data_dir = setup->GetDBDataDir();
  for (const std::string& name : special_plugins) {
    proto::CXmlProto xml;
    const std::string path = UTF82Local(DBConfigPath(sys_path, name));
    if (ReadXmlFile(PLINTH_HERE, path, xml) == XmlFileRead::kUnreadable) return false;
    PluginDBConfig record;
    record.plugin_name = name;
    std::string refusal;
    if (!ReadDatabaseFields(xml, product, record, &refusal, data_dir)) {
      LogDBConfigError(function, record, refusal);
      return false;
    }
    // The plug-in's own file and its companions are removed and created
    // afresh: none of them may be a special plug-in's database or one of its
    // companions.
    refusal = SpecialDatabaseProblem(plugin_config_.sqlite_file_name, record.sqlite_file_name, name,
                                     data_dir);
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
  PLINTH_LOG(LogLevel::kInfo, "[%s]Get %d cnt config in SQLiteConfig.xml[%s(%d)]",
             static_cast<int>(settings.size()));
  for (const SqliteSetting& setting : settings) {
    const std::string refusal = SettingRefusal(setting.name);
    if (refusal.empty()) continue;
    PLINTH_LOG(LogLevel::kFatal, "[%s]SQLiteConfig.xml setting \"%s\" refused: %s.[%s(%d)]",
               setting.name.c_str(), refusal.c_str());
    return false;
  }
  for (const SqliteSetting& setting : settings) {
    if (ConfiguresKey(setting)) {
      need_encrypt_ = true;
      PLINTH_LOG(LogLevel::kInfo, "[%s]db file need encrypt[%s(%d)]");
    }
    PLINTH_LOG(LogLevel::kInfo, "[%s]PRAGMA %s = %s[%s(%d)]", setting.name.c_str(),
               LoggableValue(setting.name, setting.value).c_str());
    AddSetting(setting, sqlite_config_);
  }
  file_keys_.Plan(settings, KeyValue(sqlite_config_));
  return true;
}

bool CInitDBManager::RunDBInit() {
  if (!ApplyProcessCipherSettings(PLINTH_HERE, sqlite_config_)) {
    PLINTH_LOG(LogLevel::kError, "[%s]ApplyProcessCipherSettings fail[%s(%d)]");
    return false;
  }
  if (!CheckExtensionLibraries()) {
    PLINTH_LOG(LogLevel::kError, "[%s]CheckExtensionLibraries fail[%s(%d)]");
    return false;
  }
  if (!CreateDataDir()) {
    PLINTH_LOG(LogLevel::kError, "[%s]CreateDataDir fail[%s(%d)]");
    return false;
  }
  if (!CreateSQLiteDBFile()) {
    PLINTH_LOG(LogLevel::kError, "[%s]CreateSQLiteDBFile fail[%s(%d)]");
    return false;
  }
  if (!SQLiteDBInit()) {
    PLINTH_LOG(LogLevel::kError, "[%s]SQLiteDBInit fail[%s(%d)]");
    return false;
  }
  if (plugin_config_.plugin_name != kPlatformPlugin) return true;

  const PluginDBConfig platform_config = plugin_config_;
  for (const auto& [name, record] : special_plugins_) {
    PLINTH_LOG(LogLevel::kInfo, "[%s]Init for special %s.[%s(%d)]", name.c_str());
    plugin_config_ = record;
    if (!CreateSQLiteDBFile()) {
      PLINTH_LOG(LogLevel::kError, "[%s]CreateSQLiteDBFile for special %s fail[%s(%d)]",
                 name.c_str());
      return false;
    }
    if (!SQLiteDBInit()) {
      PLINTH_LOG(LogLevel::kError, "[%s]SQLiteDBInit for special %s fail[%s(%d)]", name.c_str());
      return false;
    }
  }
  plugin_config_ = platform_config;
  return true;
}

std::vector<std::string> CInitDBManager::SpecialConnectionNames() const {
  std::vector<std::string> names;
  if (OpensNoSpecialConnections(plugin_config_.plugin_name,
                                CToolSetup::GetInstance()->GetSpecialPlugins())) {
    return names;
  }
  for (const auto& entry : special_plugins_) {
    if (plugin_config_.other_plugin_scripts.count(entry.first) != 0) names.push_back(entry.first);
  }
  return names;
}

std::vector<const PluginDBConfig*> CInitDBManager::ConnectionRecords() const {
  std::vector<const PluginDBConfig*> records = {&plugin_config_};
  const bool platform = plugin_config_.plugin_name == kPlatformPlugin;
  const std::vector<std::string> opened = SpecialConnectionNames();
  for (const auto& [name, record] : special_plugins_) {
    // The platform's run builds every special plug-in's database; another
    // run opens those it runs scripts in.
    if (platform || std::find(opened.begin(), opened.end(), name) != opened.end()) {
      records.push_back(&record);
    }
  }
  return records;
}

bool CInitDBManager::CheckExtensionLibraries() {
  const std::string sys_path = CToolSetup::GetInstance()->GetSysPath();
  // public.db's connection loads the shared library.
  if (plugin_config_.plugin_name == kPlatformPlugin &&
      !CheckExtensionLibrary(PLINTH_HERE, SharedExtensionPath(sys_path))) {
    return false;
  }
  for (const PluginDBConfig* record : ConnectionRecords()) {
    if (!CheckPluginLibraries(PLINTH_HERE, sys_path, *record)) return false;
  }
  return true;
}

bool CInitDBManager::CreateDataDir() {
  const std::string data_dir = CToolSetup::GetInstance()->GetDBDataDir();
  bool exists = false;
  if (!ExistsOrFail(PLINTH_HERE, data_dir, Links::kFollow, &exists)) return false;
  if (exists) {
    PLINTH_LOG(LogLevel::kInfo, "[%s]data_path aleady exists.[%s(%d)]");
    return true;
  }
  boost::system::error_code ec;
  boost::filesystem::create_directory(data_dir, ec);
  if (ec) {
    PLINTH_LOG(LogLevel::kFatal, "[%s]create_directory fail,%s[%s(%d)]",
               FileSystemError(ec).c_str());
    return false;
  }
  return true;
}

bool CInitDBManager::CreatePublicSQLiteDBFile() {
  const BuildContext build =
      MakeBuildContext(*CToolSetup::GetInstance(), sqlite_config_, need_encrypt_, &file_keys_);
  const std::string path = InDir(build.data_dir, kPublicDatabase);
  PLINTH_LOG(LogLevel::kInfo, "[%s]db file full_path:%s[%s(%d)]", path.c_str());
  if (!RemoveDatabaseFiles(PLINTH_HERE, path, kPublicDatabase)) return false;
  if (!OpenConfigured(PLINTH_HERE, path, build.settings, Pragmas::kApply, public_conn)) {
    return false;
  }
  if (!Attach(PLINTH_HERE, public_conn, path, kPublicSchema, build.settings)) return false;
  NoteRunFiles(public_conn);
  return LoadSharedExtension(PLINTH_FUNCTION, public_conn, build.sys_path);
}

bool CInitDBManager::CreateSQLiteDBFile() {
  if (plugin_config_.plugin_name == kPlatformPlugin && !CreatePublicSQLiteDBFile()) {
    PLINTH_LOG(LogLevel::kFatal, "[%s]CreatePublicSQLiteDBFile fail[%s(%d)]");
    return false;
  }
  const CToolSetup& setup = *CToolSetup::GetInstance();
  const BuildContext build = MakeBuildContext(setup, sqlite_config_, need_encrypt_, &file_keys_);
  const std::string path = InDir(build.data_dir, plugin_config_.sqlite_file_name);
  PLINTH_LOG(LogLevel::kInfo, "[%s]db file full_path:%s[%s(%d)]", path.c_str());
  if (!RemoveDatabaseFiles(PLINTH_HERE, path, plugin_config_.sqlite_file_name)) return false;

  // In the platform's run the connection of the previous build is done with.
  CloseNotingKeyedFiles(db_conn_);
  if (!PrepareConnection(PLINTH_HERE, build, path, plugin_config_, Pragmas::kApply, db_conn_)) {
    return false;
  }
  NoteRunFiles(db_conn_);
  if (OpensNoSpecialConnections(plugin_config_.plugin_name, setup.GetSpecialPlugins())) {
    return true;
  }
  if (!OpenSpecialConnections(PLINTH_HERE, build, plugin_config_, SpecialConnectionNames(),
                              special_plugins_, other_conns_)) {
    return false;
  }
  for (const auto& entry : other_conns_) NoteRunFiles(entry.second);
  return true;
}

bool CInitDBManager::SQLiteDBInit() {
  if (db_conn_ == nullptr) {
    PLINTH_LOG(LogLevel::kError, "[%s]db_conn_ is nullptr[%s(%d)]");
    return false;
  }
  const std::string sys_path = CToolSetup::GetInstance()->GetSysPath();
  if (plugin_config_.plugin_name == kPlatformPlugin) {
    if (!SQLitePublicDBInit()) {
      PLINTH_LOG(LogLevel::kFatal, "[%s]SQLitePublicDBInit fail[%s(%d)]");
      return false;
    }
    const std::string version = UTF82Local(ProductVersionScriptPath(sys_path));
    if (!RunScript(PLINTH_HERE, Script::kProductVersion, db_conn_, version)) return false;
  }
  const std::string scripts_dir = PluginScriptsDir(sys_path, plugin_config_.plugin_name);
  return RunPluginScripts(PLINTH_HERE, db_conn_, scripts_dir) &&
         RunScriptsForOtherPlugins(PLINTH_HERE, other_conns_, plugin_config_.other_plugin_scripts);
}

bool CInitDBManager::SQLitePublicDBInit() {
  if (public_conn == nullptr) {
    PLINTH_LOG(LogLevel::kError, "[%s]public_conn is nullptr[%s(%d)]");
    return false;
  }
  const std::string path =
      UTF82Local(PublicDataScriptPath(Quill::Base::FileUtil::GetCurExeDirUtf8()));
  return RunScript(PLINTH_HERE, Script::kPublicData, public_conn, path);
}

bool CInitDBManager::CheckDBInit() {
  if (!ApplyProcessCipherSettings(PLINTH_HERE, sqlite_config_)) {
    PLINTH_LOG(LogLevel::kError, "[%s]ApplyProcessCipherSettings fail[%s(%d)]");
    return false;
  }
  if (!CheckExtensionLibraries()) {
    PLINTH_LOG(LogLevel::kError, "[%s]CheckExtensionLibraries fail[%s(%d)]");
    return false;
  }
  if (!CheckConnections()) {
    PLINTH_LOG(LogLevel::kError, "[%s]CheckConnections fail[%s(%d)]");
    return false;
  }
  if (!CheckSharedDatabases()) {
    PLINTH_LOG(LogLevel::kError, "[%s]CheckSharedDatabases fail[%s(%d)]");
    return false;
  }
  if (!CheckScripts()) {
    PLINTH_LOG(LogLevel::kError, "[%s]CheckScripts fail[%s(%d)]");
    return false;
  }
  return true;
}

bool CInitDBManager::CheckConnections() {
  const std::string function = PLINTH_FUNCTION;
  const BuildContext build =
      MakeBuildContext(*CToolSetup::GetInstance(), sqlite_config_, need_encrypt_, nullptr);
  const bool platform = plugin_config_.plugin_name == kPlatformPlugin;
  if (platform && !CheckInMemory(PLINTH_HERE, build, Pragmas::kApply, [&](sqlite3* conn) {
        return LoadSharedExtension(function, conn, build.sys_path);
      })) {
    return false;
  }
  for (const PluginDBConfig* record : ConnectionRecords()) {
    // The platform's run creates the special plug-ins' databases; another
    // run opens their existing ones with the key alone.
    const Pragmas pragmas =
        platform || record == &plugin_config_ ? Pragmas::kApply : Pragmas::kSkip;
    if (!CheckInMemory(PLINTH_HERE, build, pragmas, [&](sqlite3* conn) {
          return LoadPluginExtensions(PLINTH_SITE(function), conn, build.sys_path, *record);
        })) {
      return false;
    }
  }
  return true;
}

bool CInitDBManager::CheckSharedDatabases() {
  if (plugin_config_.plugin_name == kPlatformPlugin) return true;
  const BuildContext build =
      MakeBuildContext(*CToolSetup::GetInstance(), sqlite_config_, need_encrypt_, nullptr);
  bool exists = false;
  if (!ExistsOrFail(PLINTH_HERE, build.data_dir, Links::kFollow, &exists)) return false;
  if (!exists) {
    PLINTH_LOG(LogLevel::kInfo,
               "[%s]data_path %s does not exist: no database file to read.[%s(%d)]",
               build.data_dir.c_str());
    return true;
  }
  std::vector<std::pair<std::string, std::string>> files = {{kPublicDatabase, kPublicSchema},
                                                            {kPlatformDatabase, kPlatformSchema}};
  for (const std::string& name : SpecialConnectionNames()) {
    const PluginDBConfig& record = special_plugins_.at(name);
    files.emplace_back(record.sqlite_file_name, QuotedName(record.schema));
  }
  sqlite3* conn = nullptr;
  SqliteError error;
  bool read = OpenInMemoryReadOnly(&conn, &error);
  if (!read) {
    PLINTH_LOG(LogLevel::kError, "[%s]sqlite3_open fail,%s[%s(%d)]", error.DescribeText().c_str());
  }
  for (auto file = files.begin(); read && file != files.end(); ++file) {
    read = ReadDatabaseIfPresent(PLINTH_HERE, conn, InDir(build.data_dir, file->first),
                                 file->second, build.settings);
  }
  CloseConnection(conn);
  return read;
}

bool CInitDBManager::CheckScripts() {
  const std::string sys_path = CToolSetup::GetInstance()->GetSysPath();
  if (plugin_config_.plugin_name != kPlatformPlugin) {
    return CheckPluginScripts(PLINTH_HERE,
                              PluginScriptsDir(sys_path, plugin_config_.plugin_name)) &&
           CheckScriptsForOtherPlugins(PLINTH_HERE, SpecialConnectionNames(),
                                       plugin_config_.other_plugin_scripts);
  }
  const std::string exe_dir = Quill::Base::FileUtil::GetCurExeDirUtf8();
  if (!CheckScript(PLINTH_HERE, Script::kPublicData, UTF82Local(PublicDataScriptPath(exe_dir))) ||
      !CheckScript(PLINTH_HERE, Script::kProductVersion,
                   UTF82Local(ProductVersionScriptPath(sys_path))) ||
      !CheckPluginScripts(PLINTH_HERE, PluginScriptsDir(sys_path, kPlatformPlugin))) {
    return false;
  }
  for (const auto& entry : special_plugins_) {
    PLINTH_LOG(LogLevel::kInfo, "[%s]Check for special %s.[%s(%d)]", entry.first.c_str());
    if (!CheckPluginScripts(PLINTH_HERE, PluginScriptsDir(sys_path, entry.first))) return false;
  }
  return true;
}

}  // namespace plinth
