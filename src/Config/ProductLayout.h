// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// The product as the tool knows it: the names of its shared databases and
// their companion files, its special plug-ins, and where its files lie below
// the data directory, the system directory and the executable's directory.
// Every such name is written here once. Paths are joined by plain
// concatenation and never normalised; every result is UTF-8, as its pieces.
#ifndef PLINTH_CONFIG_PRODUCTLAYOUT_H_
#define PLINTH_CONFIG_PRODUCTLAYOUT_H_

#include <string>

namespace plinth {

// The platform plug-in: its run also builds public.db and the special
// plug-ins' databases, and its files lie in the directory "SYS".
inline constexpr char kPlatformPlugin[] = "platform";

// The special plug-ins: the platform's run builds their databases after its
// own, and a run for one of them ends at once, with success.
inline constexpr const char* kSpecialPlugins[] = {"event.s"};

// The plug-ins that, beside the special plug-ins themselves, open no
// connections to the special plug-ins' databases, whatever scripts their
// DBConfig.xml names for them: the platform, whose run builds those databases
// afresh after its own (they do not stand yet while its own is prepared), and
// deviceaccess.d, a plug-in of the product that is not to write into the
// special plug-ins' databases (the product decides which of its plug-ins do).
inline constexpr const char* kPluginsWithoutSpecialConnections[] = {kPlatformPlugin,
                                                                    "deviceaccess.d"};

// The shared database, which the platform's run creates afresh and every
// connection of a plug-in's database attaches as "public".
inline constexpr char kPublicDatabase[] = "public.db";
inline constexpr char kPublicSchema[] = "public";

// The platform's database file, which every other plug-in's connection
// attaches as "platform".
inline constexpr char kPlatformDatabase[] = "platform.db";
inline constexpr char kPlatformSchema[] = "platform";

// The files SQLite keeps beside a database file, named by the database's
// name and a suffix: the write-ahead log's index, the write-ahead log and the
// rollback journal. A database file name of the product may be none of them
// for another database file (NameCheck.h). Before a database file is created
// afresh, the build removes its -shm and -wal companions, in that order: a
// write-ahead log left from an old file would be read into the new one. It
// leaves a -journal alone: SQLite deletes a rollback journal that it finds
// beside a database file of no page, which a file created afresh is, so an old
// journal never reaches the new file.
struct CompanionFile {
  const char* suffix;          // "-shm"
  bool removed_before_create;  // removed before the database file is created afresh
};
inline constexpr CompanionFile kCompanionFiles[] = {
    {"-shm", true}, {"-wal", true}, {"-journal", false}};

// The plug-in's own scripts, in the directory PluginScriptsDir gives.
inline constexpr char kCreateTablesScript[] = "create_tables.sql";
inline constexpr char kInitDataScript[] = "init_data.sql";

// `dir` + the path separator + `name`.
std::string InDir(const std::string& dir, const std::string& name);

// The directory of a plug-in's files below "<system>/META_INFO/": "SYS" for
// the platform plug-in, else the plug-in's name.
std::string PluginDirName(const std::string& plugin_name);

// <system>/META_INFO/<plug-in directory>/runtime_script/DBConfig.xml.
std::string DBConfigPath(const std::string& sys_path, const std::string& plugin_name);

// <system>/META_INFO/<plug-in directory>/runtime_script/db_init/SQLite/, ending
// with a separator: where kCreateTablesScript and kInitDataScript lie.
std::string PluginScriptsDir(const std::string& sys_path, const std::string& plugin_name);

// <system>/../Product.xml: the product's description.
std::string ProductDescriptionPath(const std::string& sys_path);

// <system>/META_INFO/ProductVersionToDB.sql.
std::string ProductVersionScriptPath(const std::string& sys_path);

// <system>/public.func.sqlite plus the platform's library suffix: the shared
// SQLite extension library.
std::string SharedExtensionPath(const std::string& sys_path);

// The files beside the executable; `exe_dir` ends with a separator.
// <executable directory>META_INFO/plinth.log4cxx.properties: the log's
// configuration.
std::string LogConfigurationPath(const std::string& exe_dir);

// <executable directory>META_INFO/InitSetup.xml: the tool's settings.
std::string SettingsFilePath(const std::string& exe_dir);

// <executable directory>META_INFO/SQLiteConf/SQLiteConfig.xml.
std::string SQLiteConfigPath(const std::string& exe_dir);

// <executable directory>META_INFO/db_init/SQLite/create_public_data.sql.
std::string PublicDataScriptPath(const std::string& exe_dir);

}  // namespace plinth

#endif  // PLINTH_CONFIG_PRODUCTLAYOUT_H_
