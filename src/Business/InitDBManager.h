// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// The database manager: what one run knows about the databases of the plug-in
// it prepares, and the build of those databases.
#ifndef PLINTH_BUSINESS_INITDBMANAGER_H_
#define PLINTH_BUSINESS_INITDBMANAGER_H_

#include <map>
#include <string>
#include <vector>

#include "Business/FileKeys.h"
#include "Business/PluginDBConfig.h"
#include "QuillBase.h"

struct sqlite3;

namespace plinth {

// What the database manager holds for a run: the configuration that
// InitManager reads, the connections that the build opens (the manager's:
// only UninitManager closes them, or the process's end) and the keying of the
// files. All maps order their keys byte-wise (as unsigned bytes) and keep the
// first value inserted under a key.
struct InitDBManagerState {
  bool inited_ = false;
  PluginDBConfig plugin_config_;
  sqlite3* db_conn_ = nullptr;
  sqlite3* public_conn = nullptr;
  std::map<std::string, std::string> sqlite_config_;
  bool need_encrypt_ = false;
  std::map<std::string, PluginDBConfig> special_plugins_;
  std::map<std::string, sqlite3*> other_conns_;
  // The database files that the run itself opened or attached with the key
  // (not those a script attached), as SQLite names them, each once.
  std::vector<std::string> run_files_;
  // Those of `run_files_` that the keyed connections closed so far held,
  // each once; kept by UninitManager for VerifyEncryption.
  std::vector<std::string> keyed_files_;
  // The key of each file the run keys, derived once.
  CFileKeys file_keys_;
};

// The database manager. Its state is a base of its own, so that the manager's
// operations name its members directly and a test can read it whole
// (state()).
class CInitDBManager : public Quill::Base::CNoncopyable, private InitDBManagerState {
 public:
  // The process-wide instance, created on first use and destroyed at process
  // exit; never null.
  static CInitDBManager* GetInstance();

  // Reads the configuration of `plugin_name`, of the special plug-ins and the
  // SQLite settings. Returns true at once when already initialised. On false
  // the step that failed is logged, and what was read stays.
  bool InitManager(const std::string& plugin_name);

  // Builds the plug-in's databases: SQLCipher's process-wide settings
  // (ApplyProcessCipherSettings), a check of the extension libraries, the
  // data directory, the database files and
  // their connections, the scripts; for "platform" also public.db and then
  // the special plug-ins' databases in name order, each with its record in
  // `plugin_config_` while it is built. The first failure ends it with false,
  // the failing special plug-in's record left in `plugin_config_`; after
  // success `plugin_config_` holds the plug-in's own record again.
  bool RunDBInit();

  // Checks what RunDBInit would read and decide, writing nothing: SQLCipher's
  // process-wide settings and the check of the extension libraries as
  // RunDBInit makes them, then CheckConnections, CheckSharedDatabases and
  // CheckScripts. Creates, removes and writes no file, and opens none in the
  // data directory but read-only; every connection it opens it closes. The
  // first failure ends it with false, logged as RunDBInit would log it where
  // RunDBInit would meet it.
  bool CheckDBInit();

  // Closes every connection, clears the configuration and forgets the files'
  // keys. Always true.
  bool UninitManager();

  // After UninitManager, when the run keyed its files: checks that every
  // database file of the connections the manager closed (the files the run
  // created or keyed, a write-ahead log checkpointed into each) is encrypted:
  // opened without the key, its schema must not read. A file that reads, or
  // that cannot be checked, is logged and makes it false, after every file
  // was checked. True when nothing was keyed. Forgets the files.
  bool VerifyEncryption();

 protected:
  // The tool's manager is the process-wide one. A class derived for a test
  // makes managers of its own, each starting empty, and may open the reading
  // steps and the state below to its test.
  CInitDBManager() = default;
  ~CInitDBManager() = default;

  // What the manager holds now.
  const InitDBManagerState& state() const { return *this; }

  // The steps of InitManager and RunDBInit. Each logs its failures and returns
  // false at the first one; what it did before stays done and what it filled
  // in stays filled in. The connections a step opens belong to the manager,
  // also after a failure: only UninitManager closes them (or the process's
  // end, when the run fails).

  // Reads the DBConfig.xml of `plugin_name` into `plugin_config_`, the
  // scripts for other plug-ins included. Reads the tool settings' system
  // directory and product type. On false `plugin_config_` may hold the name,
  // the schema and the file name.
  bool ReadPluginDBConfig(const std::string& plugin_name);

  // Reads the DBConfig.xml of each name of `special_plugins`, in order, into
  // a record of its own (without scripts for other plug-ins) and adds it to
  // `special_plugins_` (a name already there keeps its record). Reads
  // `plugin_config_.sqlite_file_name`: a special plug-in's database may be
  // neither that file nor a companion of it, nor the reverse. On false the
  // records of the names before the failing one stay. True for an empty list.
  bool ReadSpecialPluginDBConfig(const std::vector<std::string>& special_plugins);

  // Reads SQLiteConfig.xml beside the executable into `sqlite_config_`, and
  // sets `need_encrypt_` when it configures a key; every setting is logged,
  // a key's value masked, and plans the keying of the files (`file_keys_`).
  // False when the file cannot be read or does not parse, or holds a setting
  // that is refused (SettingRefusal): nothing is stored then.
  bool ReadSQLiteConfig();

 private:
  // Makes sure that no extension library the build loads is something other
  // than a regular file (CheckExtensionLibrary): the shared library of
  // public.db's connection in the platform's run, and the libraries of
  // `plugin_config_` and of the `special_plugins_` whose databases the run
  // builds or opens. Runs before anything is created or removed.
  bool CheckExtensionLibraries();

  // The special plug-ins whose existing databases the build of
  // `plugin_config_` opens to run its scripts for other plug-ins, in name
  // order: those of `special_plugins_` it names scripts for, none for the
  // plug-ins that open no such connections (the platform among them).
  std::vector<std::string> SpecialConnectionNames() const;

  // The records of the connections to plug-ins' databases that the build of
  // `plugin_config_` prepares: its own first, then those of the special
  // plug-ins whose databases it builds (the platform's run) or opens
  // (SpecialConnectionNames), in name order. Pointers into the manager.
  std::vector<const PluginDBConfig*> ConnectionRecords() const;

  // Makes sure the tool settings' data directory exists, creating its last
  // element when nothing is there. Reads no member.
  bool CreateDataDir();

  // Creates public.db afresh in the data directory into `public_conn`: old
  // file and companions removed, keyed and configured after `sqlite_config_`
  // and `need_encrypt_`, attached as public, the shared extension library
  // loaded. On false removed files stay removed, and `public_conn` keeps the
  // connection that was opened.
  bool CreatePublicSQLiteDBFile();

  // Creates the database file of `plugin_config_` afresh (for the platform
  // after public.db) and prepares its connection into `db_conn_`, closing the
  // one held there from a previous build; then, unless the plug-in is
  // excluded, prepares connections into `other_conns_` to the existing
  // databases of the `special_plugins_` in whose databases it runs scripts.
  // Reads `sqlite_config_` and `need_encrypt_`. On false `db_conn_`,
  // `public_conn` and `other_conns_` keep what was opened.
  bool CreateSQLiteDBFile();

  // Runs the scripts of `plugin_config_`: for the platform first
  // SQLitePublicDBInit and the product-version script, then the plug-in's
  // create_tables.sql and init_data.sql on `db_conn_` where they exist, then
  // its scripts for other plug-ins on the connections of `other_conns_`.
  // Changes no member; what the scripts before a failure did stays.
  bool SQLiteDBInit();

  // Runs create_public_data.sql beside the executable on `public_conn`.
  bool SQLitePublicDBInit();

  // The steps of CheckDBInit. Each logs its failures as the step of
  // RunDBInit that would meet them and returns false at the first one.

  // Opens, on in-memory databases, each connection that RunDBInit prepares
  // and sets it up as RunDBInit does: the key and, where RunDBInit applies
  // them, the settings of `sqlite_config_`; the extension libraries loaded
  // (public.db's shared one in the platform's run, those of `plugin_config_`
  // and of the special plug-ins whose databases the build opens).
  bool CheckConnections();

  // For a plug-in other than the platform, whose run attaches the existing
  // public.db and platform.db and opens the special plug-ins' databases it
  // runs scripts in: attaches each of those that exists in the data directory
  // read-only with the key (AttachReadOnly), which reads its schema. Nothing
  // to read when the data directory does not exist (a run would create it
  // empty); the platform's run builds all of them afresh.
  bool CheckSharedDatabases();

  // Checks with CheckScript every script that SQLiteDBInit and
  // SQLitePublicDBInit would run, in their order, the special plug-ins' in
  // the platform's run included.
  bool CheckScripts();

  // When the run keys its files, notes the files of the databases of `conn`,
  // a connection the run has just prepared, in `run_files_`.
  void NoteRunFiles(sqlite3* conn);

  // Closes `conn` (when not null); when the run keys its files, first notes
  // those of its databases' files that are in `run_files_` in `keyed_files_`.
  void CloseNotingKeyedFiles(sqlite3*& conn);
};

}  // namespace plinth

#endif  // PLINTH_BUSINESS_INITDBMANAGER_H_
