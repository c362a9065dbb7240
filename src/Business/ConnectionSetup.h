// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// The set-up of the connections the database build opens: the key, the
// settings, the header of a keyed file, the attached databases and the
// extension libraries. Each step logs its failure at the operation's site
// with the SQLite error that the call filled in; the first failure ends the
// set-up with false, and the connection keeps what was opened: the caller
// owns the handle, also after a failure.
#ifndef PLINTH_BUSINESS_CONNECTIONSETUP_H_
#define PLINTH_BUSINESS_CONNECTIONSETUP_H_

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Business/FileKeys.h"
#include "Business/PluginDBConfig.h"
#include "Common/Log.h"

struct sqlite3;

namespace plinth {

// How a database file's connection is set up.
struct ConnectionSettings {
  // The key of the files; absent when they are not keyed.
  std::optional<std::string> key;
  // The ordinary settings, setting name to value, applied with "key" left
  // out: those that shape a file's format first, then the others, each
  // group in name order. Borrowed: the manager's SQLite settings, which outlive
  // every connection set-up of a run.
  const std::map<std::string, std::string>* pragmas = nullptr;
  // Where the run keeps each file's derived key, when the files are keyed.
  // Borrowed: the manager's, which outlives every connection set-up of a run.
  CFileKeys* keys = nullptr;
};

// Whether a connection gets the ordinary settings: a database file the run
// creates (it was just removed) does, a special plug-in's existing file gets
// its key only.
enum class Pragmas { kApply, kSkip };

// What an operation of the build reads once and hands to the set-up: the data
// and system directories of the tool settings, and the connection settings.
struct BuildContext {
  std::string data_dir;
  std::string sys_path;
  ConnectionSettings settings;
};

// Sets what SQLCipher keeps process-wide, for every connection opened after
// it: its own log turned off (it would write to standard error, outside the
// log; the failure lines say what failed), and the process-wide counterpart
// of each cipher setting of `pragmas` that shapes a file's format, in name
// order. SQLCipher keys each attached file with those counterparts, not with
// the settings made on the connection, so this is what brings the settings to
// every file the run keys. Logs nothing on success; a failing statement is
// logged as a failing setting.
bool ApplyProcessCipherSettings(const LogSite& at,
                                const std::map<std::string, std::string>& pragmas);

// Opens the database file at `path` (creating it when missing) into `conn`,
// applies the key when the settings have one (after making sure the library
// encrypts), the ordinary settings with Pragmas::kApply (each logged
// before it runs), and writes the header of a keyed file. The key is the
// file's derived key (CFileKeys::RawKey; a new one for a file the run
// creates, with Pragmas::kApply), else the passphrase.
bool OpenConfigured(const LogSite& at, const std::string& path, const ConnectionSettings& settings,
                    Pragmas pragmas, sqlite3*& conn);

// Attaches the database file at `path` to `conn` as `schema` (SQL as written:
// pass QuotedName() for a configured name), with the settings' key when they
// have one: the file's derived key (CFileKeys::RawKey), else the passphrase.
// SQLite creates a missing file. A failure is logged with one more
// line that names the file and the schema, and when the file is not a
// database to SQLCipher, one more with the likely causes.
bool Attach(const LogSite& at, sqlite3* conn, const std::string& path, const std::string& schema,
            const ConnectionSettings& settings);

// Opens the database file at `path` into `conn` and prepares it for the
// scripts of the plug-in of `record`: OpenConfigured, the file attached as the
// record's schema, public.db as public and platform.db as platform (unless the
// record is the platform's), extension loading enabled, the shared extension
// library loaded when the record asks for it, and then the record's own
// library when it exists (a missing one is a notice, not a failure).
bool PrepareConnection(const LogSite& at, const BuildContext& build, const std::string& path,
                       const PluginDBConfig& record, Pragmas pragmas, sqlite3*& conn);

// Fails, logged at `at`, when an extension library that PrepareConnection
// loads for `record` exists and is not a regular file (links followed): the
// shared library when the record asks for it, or its own one. The loader
// would wait forever on a FIFO. A library that is missing, or whose kind
// cannot be told, is left to the loading.
bool CheckPluginLibraries(const LogSite& at, const std::string& sys_path,
                          const PluginDBConfig& record);

// Prepares a connection to the existing database file of every special
// plug-in of `special_plugins` (in name order) that `names` holds (those in
// whose databases `config` runs scripts), with the key but no settings, and
// enters it into `conns` under the special plug-in's name (a name already
// there keeps its connection). Any other special plug-in is skipped with a
// notice. Nothing at all when `config` names scripts for no other plug-in. On
// a failed preparation that connection is closed and not entered; the ones
// entered before stay.
bool OpenSpecialConnections(const LogSite& at, const BuildContext& build,
                            const PluginDBConfig& config, const std::vector<std::string>& names,
                            const std::map<std::string, PluginDBConfig>& special_plugins,
                            std::map<std::string, sqlite3*>& conns);

// Enables extension loading on `conn` and loads the extension libraries of
// `record` into it, as PrepareConnection does: the shared one first when the
// record asks for it, and only once it has loaded is the own one looked for,
// loaded when it exists (a missing one is a notice).
bool LoadPluginExtensions(const LogSite& at, sqlite3* conn, const std::string& sys_path,
                          const PluginDBConfig& record);

// Attaches the existing database file at `path` to `conn` (a connection that
// takes URI file names: OpenInMemoryReadOnly) as `schema`, with the settings'
// key when they have one, read-only and as it lies (ImmutableFileUri): nothing
// is written, no journal or write-ahead log is made, a missing file is not
// created. The attach reads the file's schema, so a wrong key or another
// cipher format fails it; the failure is logged as Attach logs one, with
// `path`.
bool AttachReadOnly(const LogSite& at, sqlite3* conn, const std::string& path,
                    const std::string& schema, const ConnectionSettings& settings);

}  // namespace plinth

#endif  // PLINTH_BUSINESS_CONNECTIONSETUP_H_
