// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// Where the files of the product lie, below the data directory, the system
// directory and the executable's directory. Paths are joined by plain
// concatenation and never normalised; every result is UTF-8, as its pieces.
#ifndef PLINTH_CONFIG_PRODUCTLAYOUT_H_
#define PLINTH_CONFIG_PRODUCTLAYOUT_H_

#include <string>

namespace plinth {

// The platform plug-in: its run also builds public.db and the special
// plug-ins' databases, and its files lie in the directory "SYS".
inline constexpr char kPlatformPlugin[] = "platform";

// The platform's database file, which every other plug-in's connection
// attaches as "platform".
inline constexpr char kPlatformDatabase[] = "platform.db";

// `dir` + the path separator + `name`.
std::string InDir(const std::string& dir, const std::string& name);

// The directory of a plug-in's files below "<system>/META_INFO/": "SYS" for
// the platform plug-in, else the plug-in's name.
std::string PluginDirName(const std::string& plugin_name);

// <system>/META_INFO/<plug-in directory>/runtime_script/DBConfig.xml.
std::string DBConfigPath(const std::string& sys_path, const std::string& plugin_name);

// <system>/META_INFO/<plug-in directory>/runtime_script/db_init/SQLite/, ending
// with a separator: where create_tables.sql and init_data.sql lie.
std::string PluginScriptsDir(const std::string& sys_path, const std::string& plugin_name);

// <system>/META_INFO/ProductVersionToDB.sql.
std::string ProductVersionScriptPath(const std::string& sys_path);

// <system>/public.func.sqlite plus the platform's library suffix: the shared
// SQLite extension library.
std::string SharedExtensionPath(const std::string& sys_path);

// <executable directory>META_INFO/SQLiteConf/SQLiteConfig.xml; `exe_dir` ends
// with a separator.
std::string SQLiteConfigPath(const std::string& exe_dir);

// <executable directory>META_INFO/db_init/SQLite/create_public_data.sql.
std::string PublicDataScriptPath(const std::string& exe_dir);

}  // namespace plinth

#endif  // PLINTH_CONFIG_PRODUCTLAYOUT_H_
