// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include "Business/ConnectionSetup.h"

#include <algorithm>
#include <optional>

#include "Business/DatabaseFiles.h"
#include "Business/SqlText.h"
#include "Business/SqliteConnection.h"
#include "Business/SqliteSettings.h"
#include "Config/ProductLayout.h"

namespace plinth {
namespace {

// Logs at `at` that the `kind` statement ("key", "setting", "attach") cannot be
// built.
void LogUnbuiltStatement(const LogSite& at, const char* kind) {
  PLINTH_LOG_AT(at, LogLevel::kError,
                "[%s]cannot build the %s statement: its text would be longer than INT_MAX "
                "bytes[%s(%d)]",
                kind);
}

// Executes the key or setting statement `sql` on `conn`; a failure is logged
// with its `loggable` text.
bool ExecuteSetting(const LogSite& at, sqlite3* conn, const char* sql,
                    const std::string& loggable) {
  SqliteError error;
  if (Execute(conn, sql, &error)) return true;
  PLINTH_LOG_AT(at, LogLevel::kError, "[%s]sqlite config set fail,sql:%s,%s[%s(%d)]",
                loggable.c_str(), error.Describe().c_str());
  return false;
}

bool ExecuteSetting(const LogSite& at, sqlite3* conn, const SqlStatement& statement) {
  return ExecuteSetting(at, conn, statement.sql.c_str(), statement.loggable);
}

// The derived key of the file at `path` (of `origin`) in its raw-key form;
// null when the settings carry no key or the file takes the passphrase.
const CSecretText* RawKeyOf(const LogSite& at, const ConnectionSettings& settings,
                            const std::string& path, FileOrigin origin) {
  if (!settings.key || settings.keys == nullptr) return nullptr;
  return settings.keys->RawKey(at, path, *settings.key, origin);
}

// Keys `conn` with the derived key `raw`.
bool ApplyRawKey(const LogSite& at, sqlite3* conn, const CSecretText& raw) {
  const std::optional<SecretStatement> statement = RawKeyStatement(raw);
  if (!statement) {
    LogUnbuiltStatement(at, "key");
    return false;
  }
  return ExecuteSetting(at, conn, statement->sql.c_str(), statement->loggable);
}

// Keys `conn` with the passphrase `key`.
bool ApplyPassphrase(const LogSite& at, sqlite3* conn, const std::string& key) {
  const std::optional<SqlStatement> statement = KeyStatement(key);
  if (!statement) {
    LogUnbuiltStatement(at, "key");
    return false;
  }
  return ExecuteSetting(at, conn, *statement);
}

// Applies `key`, the key of `settings`, to `conn`, opened on `path` (of
// `origin`), once it is sure the library encrypts.
bool ApplyKey(const LogSite& at, sqlite3* conn, const std::string& path,
              const ConnectionSettings& settings, const std::string& key, FileOrigin origin) {
  if (!LibraryEncrypts(conn)) {
    PLINTH_LOG_AT(at, LogLevel::kError,
                  "[%s]the SQLite library does not encrypt (no answer to PRAGMA cipher_version), "
                  "%s is not keyed[%s(%d)]",
                  path.c_str());
    return false;
  }
  const CSecretText* raw = RawKeyOf(at, settings, path, origin);
  return raw != nullptr ? ApplyRawKey(at, conn, *raw) : ApplyPassphrase(at, conn, key);
}

// Logs and applies the setting `name` = `value` to `conn`.
bool ApplyPragma(const LogSite& at, sqlite3* conn, const std::string& name,
                 const std::string& value) {
  const std::optional<SqlStatement> statement = SettingStatement(name, value);
  if (!statement) {
    LogUnbuiltStatement(at, "setting");
    return false;
  }
  PLINTH_LOG_AT(at, LogLevel::kInfo, "[%s]conf_sql:%s.[%s(%d)]", statement->loggable.c_str());
  return ExecuteSetting(at, conn, *statement);
}

// Applies every setting of `pragmas` but "key": first those that shape the
// file's format (CipherDefaultName), then the others, each group in name
// order; the first failure ends it. SQLCipher takes a format setting only
// before the file is first read, which a setting such as journal_mode does.
bool ApplyPragmas(const LogSite& at, sqlite3* conn,
                  const std::map<std::string, std::string>& pragmas) {
  for (const bool format : {true, false}) {
    for (const auto& [name, value] : pragmas) {
      if (name == "key" || CipherDefaultName(name).empty() == format) continue;
      if (!ApplyPragma(at, conn, name, value)) return false;
    }
  }
  return true;
}

// Logs at `at`, after the failure lines of a call that read the database file
// at `path` and failed with `error`, what likely made SQLCipher take the file
// for no database: nothing for any other error.
void LogNotADatabaseHint(const LogSite& at, const std::string& path, const SqliteError& error) {
  if (!IsNotADatabase(error)) return;
  PLINTH_LOG_AT(at, LogLevel::kError,
                "[%s]%s cannot be read with the configured key and cipher settings: the key "
                "may be wrong or missing, the file may have been written with other cipher "
                "settings, or by another SQLCipher format (e.g. before the upgrade to SQLCipher "
                "4): run the plug-in platform first to build the shared databases anew, or set "
                "cipher_compatibility = 3 in SQLiteConfig.xml[%s(%d)]",
                path.c_str());
}

// Logs at `at` that attaching the database file at `path` as `schema` failed
// with `error`, and when the file is not a database to SQLCipher, why.
void LogAttachFailure(const LogSite& at, const std::string& path, const std::string& schema,
                      const SqliteError& error) {
  PLINTH_LOG_AT(at, LogLevel::kError, "[%s]attach database fail,%s[%s(%d)]",
                error.Describe().c_str());
  PLINTH_LOG_AT(at, LogLevel::kError, "[%s]attaching %s as %s failed[%s(%d)]", path.c_str(),
                schema.c_str());
  LogNotADatabaseHint(at, path, error);
}

// Writes the header of the keyed database file behind `conn` now, when it is
// still empty. SQLCipher picks a new file's salt when the file is first
// written, and a handle that attached the file while it was empty keeps a
// salt of its own, so that it reads "file is encrypted or is not a database"
// once another handle has written. With the header written before the file is
// attached anywhere, every handle reads the same salt. The database stays
// empty; on a file with content this changes nothing.
bool WriteKeyedHeader(const LogSite& at, sqlite3* conn, const std::string& path) {
  SqliteError error;
  if (Execute(conn, "BEGIN IMMEDIATE; COMMIT;", &error)) return true;
  PLINTH_LOG_AT(at, LogLevel::kError, "[%s]write header of %s fail,%s[%s(%d)]", path.c_str(),
                error.Describe().c_str());
  LogNotADatabaseHint(at, path, error);
  return false;
}

// The own extension library of `record`, in the system directory `sys_path`;
// "" when it names none.
std::string OwnExtensionPath(const std::string& sys_path, const PluginDBConfig& record) {
  return record.sqlite_func_dll_name.empty() ? std::string()
                                             : InDir(sys_path, record.sqlite_func_dll_name);
}

// Executes the attach statement `sql` (null when it could not be built) of
// the file at `path` as `schema` on `conn`; a failure is logged.
bool ExecuteAttach(const LogSite& at, sqlite3* conn, const char* sql, const std::string& path,
                   const std::string& schema) {
  if (sql == nullptr) {
    LogUnbuiltStatement(at, "attach");
    return false;
  }
  SqliteError error;
  if (Execute(conn, sql, &error)) return true;
  LogAttachFailure(at, path, schema, error);
  return false;
}

// Loads the extension library at `path` into a plug-in's connection.
bool LoadPluginExtension(const LogSite& at, sqlite3* conn, const std::string& path) {
  SqliteError error;
  if (LoadExtension(conn, path, &error)) return true;
  PLINTH_LOG_AT(at, LogLevel::kError, "[%s]sqlite3_load_extension fail,%s[%s(%d)]",
                error.Describe().c_str());
  return false;
}

}  // namespace

bool CheckPluginLibraries(const LogSite& at, const std::string& sys_path,
                          const PluginDBConfig& record) {
  const std::string libraries[] = {
      record.load_public_func_dll ? SharedExtensionPath(sys_path) : std::string(),
      OwnExtensionPath(sys_path, record)};
  for (const std::string& library : libraries) {
    if (!library.empty() && !CheckExtensionLibrary(at, library)) return false;
  }
  return true;
}

bool ApplyProcessCipherSettings(const LogSite& at,
                                const std::map<std::string, std::string>& pragmas) {
  sqlite3* conn = nullptr;
  SqliteError error;
  if (!OpenDatabase(":memory:", &conn, &error)) {
    PLINTH_LOG_AT(at, LogLevel::kError, "[%s]sqlite3_open fail,%s[%s(%d)]",
                  error.DescribeText().c_str());
    CloseConnection(conn);
    return false;
  }
  // "cipher_log_level = NONE" alone does not silence Debian's SQLCipher 4.6.1;
  // a log source of NONE does.
  bool applied = ExecuteSetting(
      at, conn, {"PRAGMA cipher_log_source = NONE;", "PRAGMA cipher_log_source = NONE;"});
  for (auto setting = pragmas.begin(); applied && setting != pragmas.end(); ++setting) {
    const std::string default_name = CipherDefaultName(setting->first);
    if (default_name.empty()) continue;
    const std::optional<SqlStatement> statement = SettingStatement(default_name, setting->second);
    if (!statement) {
      LogUnbuiltStatement(at, "setting");
      applied = false;
    } else {
      applied = ExecuteSetting(at, conn, *statement);
    }
  }
  CloseConnection(conn);
  return applied;
}

bool OpenConfigured(const LogSite& at, const std::string& path, const ConnectionSettings& settings,
                    Pragmas pragmas, sqlite3*& conn) {
  SqliteError error;
  if (!OpenDatabase(path, &conn, &error)) {
    PLINTH_LOG_AT(at, LogLevel::kError, "[%s]sqlite3_open fail,%s[%s(%d)]",
                  error.DescribeText().c_str());
    return false;
  }
  const FileOrigin origin =
      pragmas == Pragmas::kApply ? FileOrigin::kCreated : FileOrigin::kExisting;
  if (settings.key && !ApplyKey(at, conn, path, settings, *settings.key, origin)) return false;
  if (pragmas == Pragmas::kApply && !ApplyPragmas(at, conn, *settings.pragmas)) return false;
  return !settings.key || WriteKeyedHeader(at, conn, path);
}

bool Attach(const LogSite& at, sqlite3* conn, const std::string& path, const std::string& schema,
            const ConnectionSettings& settings) {
  const CSecretText* raw = RawKeyOf(at, settings, path, FileOrigin::kExisting);
  if (raw != nullptr) {
    const std::optional<CSecretText> sql = RawKeyAttachStatement(path, schema, *raw);
    return ExecuteAttach(at, conn, sql ? sql->c_str() : nullptr, path, schema);
  }
  const std::optional<std::string> sql = AttachStatement(path, schema, settings.key);
  return ExecuteAttach(at, conn, sql ? sql->c_str() : nullptr, path, schema);
}

bool PrepareConnection(const LogSite& at, const BuildContext& build, const std::string& path,
                       const PluginDBConfig& record, Pragmas pragmas, sqlite3*& conn) {
  const ConnectionSettings& settings = build.settings;
  return OpenConfigured(at, path, settings, pragmas, conn) &&
         Attach(at, conn, path, QuotedName(record.schema), settings) &&
         Attach(at, conn, InDir(build.data_dir, kPublicDatabase), kPublicSchema, settings) &&
         (record.plugin_name == kPlatformPlugin ||
          Attach(at, conn, InDir(build.data_dir, kPlatformDatabase), kPlatformSchema, settings)) &&
         LoadPluginExtensions(at, conn, build.sys_path, record);
}

bool OpenSpecialConnections(const LogSite& at, const BuildContext& build,
                            const PluginDBConfig& config, const std::vector<std::string>& names,
                            const std::map<std::string, PluginDBConfig>& special_plugins,
                            std::map<std::string, sqlite3*>& conns) {
  if (config.other_plugin_scripts.empty()) return true;
  for (const auto& [name, record] : special_plugins) {
    if (std::find(names.begin(), names.end(), name) == names.end()) {
      PLINTH_LOG_AT(at, LogLevel::kWarn, "[%s]%s not special plugin!continue![%s(%d)]",
                    name.c_str());
      continue;
    }
    sqlite3* conn = nullptr;
    const std::string path = InDir(build.data_dir, record.sqlite_file_name);
    if (!PrepareConnection(at, build, path, record, Pragmas::kSkip, conn)) {
      CloseConnection(conn);
      return false;
    }
    if (!conns.emplace(name, conn).second) CloseConnection(conn);
  }
  return true;
}

bool LoadPluginExtensions(const LogSite& at, sqlite3* conn, const std::string& sys_path,
                          const PluginDBConfig& record) {
  SqliteError error;
  if (!EnableExtensionLoading(conn, &error)) {
    PLINTH_LOG_AT(at, LogLevel::kError, "[%s]sqlite3_enable_load_extension fail,%s[%s(%d)]",
                  error.Describe().c_str());
    return false;
  }
  if (record.load_public_func_dll &&
      !LoadPluginExtension(at, conn, SharedExtensionPath(sys_path))) {
    return false;
  }
  const std::string own = OwnExtensionPath(sys_path, record);
  if (own.empty()) return true;
  if (!ExistsElseAbsent(own)) {
    PLINTH_LOG_AT(at, LogLevel::kWarn, "[%s]Not exists func.sqlite.dll![%s(%d)]");
    return true;
  }
  return LoadPluginExtension(at, conn, own);
}

bool AttachReadOnly(const LogSite& at, sqlite3* conn, const std::string& path,
                    const std::string& schema, const ConnectionSettings& settings) {
  const std::optional<std::string> sql =
      AttachStatement(ImmutableFileUri(path), schema, settings.key);
  return ExecuteAttach(at, conn, sql ? sql->c_str() : nullptr, path, schema);
}

}  // namespace plinth
