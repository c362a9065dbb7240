// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include "Config/ProductLayout.h"

#include "QuillBase.h"

namespace plinth {

using Quill::Base::FileUtil::NativePath;

std::string InDir(const std::string& dir, const std::string& name) {
  return dir + Quill::Base::FileUtil::kPathSeparator + name;
}

std::string PluginDirName(const std::string& plugin_name) {
  return plugin_name == kPlatformPlugin ? "SYS" : plugin_name;
}

std::string DBConfigPath(const std::string& sys_path, const std::string& plugin_name) {
  return sys_path + NativePath("/META_INFO/") + PluginDirName(plugin_name) +
         NativePath("/runtime_script/DBConfig.xml");
}

std::string PluginScriptsDir(const std::string& sys_path, const std::string& plugin_name) {
  return sys_path + NativePath("/META_INFO/") + PluginDirName(plugin_name) +
         NativePath("/runtime_script/db_init/SQLite/");
}

std::string ProductDescriptionPath(const std::string& sys_path) {
  return sys_path + NativePath("/../Product.xml");
}

std::string ProductVersionScriptPath(const std::string& sys_path) {
  return sys_path + NativePath("/META_INFO/ProductVersionToDB.sql");
}

std::string SharedExtensionPath(const std::string& sys_path) {
  return InDir(sys_path,
               std::string("public.func.sqlite") + Quill::Base::FileUtil::kSharedLibrarySuffix);
}

std::string LogConfigurationPath(const std::string& exe_dir) {
  return exe_dir + NativePath("META_INFO/plinth.log4cxx.properties");
}

std::string SettingsFilePath(const std::string& exe_dir) {
  return exe_dir + NativePath("META_INFO/InitSetup.xml");
}

std::string SQLiteConfigPath(const std::string& exe_dir) {
  return exe_dir + NativePath("META_INFO/SQLiteConf/SQLiteConfig.xml");
}

std::string PublicDataScriptPath(const std::string& exe_dir) {
  return exe_dir + NativePath("META_INFO/db_init/SQLite/create_public_data.sql");
}

}  // namespace plinth
