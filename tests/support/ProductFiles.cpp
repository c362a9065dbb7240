// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include "support/ProductFiles.h"

#include <cstdlib>
#include <filesystem>

#include "support/TempDir.h"

namespace plinth_test {
namespace fs = std::filesystem;

ProductFiles::ProductFiles(const std::string& bin_name)
    : root_(MakeTempDir("plinth-product")), bin_dir_(root_ + "/" + bin_name) {
  fs::create_directories(bin_dir_ + "/META_INFO");
  fs::create_directories(sys_dir());
  WriteInitSetup(data_dir(), sys_dir());
  Write("product/Product.xml",
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        "<ProductDescription><Product>ProductA</Product></ProductDescription>\n");
  WriteSQLiteConfig({{"key", kKey}});
  Write(bin_dir_ + "/META_INFO/db_init/SQLite/create_public_data.sql",
        "CREATE TABLE dictionary(code TEXT PRIMARY KEY, label TEXT);\n"
        "INSERT INTO dictionary VALUES('a', 'Alpha');\n");
  Write(sys_dir() + "/META_INFO/ProductVersionToDB.sql",
        "CREATE TABLE product_version(version TEXT);\n"
        "INSERT INTO product_version VALUES('1.0');\n");
  WriteDBConfig("platform", DBConfigBody("platform", "platform.db"));
  WriteDBConfig("event.s", DBConfigBody("event", "event.db"));
  InstallExtension("public.func.sqlite.so");
}

ProductFiles::~ProductFiles() {
  if (std::getenv("PLINTH_KEEP_TEST_TREES") != nullptr) return;
  std::error_code ec;
  fs::remove_all(root_, ec);
}

std::string ProductFiles::Absolute(const std::string& path) const {
  return !path.empty() && path[0] == '/' ? path : Path(path);
}

void ProductFiles::Write(const std::string& path, const std::string& content) const {
  WriteFile(Absolute(path), content);
}

void ProductFiles::Remove(const std::string& path) const { fs::remove_all(Absolute(path)); }

bool ProductFiles::Exists(const std::string& path) const {
  std::error_code ec;
  return fs::exists(fs::symlink_status(Absolute(path), ec));
}

std::string ProductFiles::Read(const std::string& path) const {
  return ReadWholeFile(Absolute(path));
}

void ProductFiles::WriteInitSetup(const std::string& data_dir, const std::string& sys_dir) const {
  Write(bin_dir_ + "/META_INFO/InitSetup.xml",
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Configs>\n  <SQLiteDataPath>" + data_dir +
            "</SQLiteDataPath>\n  <SYSPath>" + sys_dir + "</SYSPath>\n</Configs>\n");
}

std::string ProductFiles::PluginFile(const std::string& plugin, const std::string& name) const {
  const std::string dir = plugin == "platform" ? "SYS" : plugin;
  return sys_dir() + "/META_INFO/" + dir + "/runtime_script/" + name;
}

std::string ProductFiles::ScriptFile(const std::string& plugin, const std::string& name) const {
  return PluginFile(plugin, "db_init/SQLite/" + name);
}

void ProductFiles::WriteDBConfig(const std::string& plugin, const std::string& sqlite) const {
  Write(PluginFile(plugin, "DBConfig.xml"),
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<DBConfig>\n  <ProductA>\n    <SQLite>" +
            sqlite + "</SQLite>\n  </ProductA>\n</DBConfig>\n");
}

std::string ProductFiles::DBConfigBody(const std::string& schema, const std::string& file,
                                       const std::string& extra) {
  return "<Schema>" + schema + "</Schema><SQLiteFileName>" + file + "</SQLiteFileName>" + extra;
}

std::string ProductFiles::EventSScripts(const std::string& paths) {
  return "<DBInitForOtherPlugins><Plugin><Identify>event.s</Identify><SQLScript>" + paths +
         "</SQLScript></Plugin></DBInitForOtherPlugins>";
}

void ProductFiles::WriteSQLiteConfig(
    const std::vector<std::pair<std::string, std::string>>& settings) const {
  std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Configs>\n";
  for (const auto& [name, value] : settings) {
    xml.append("  <Config PRAGMA=\"")
        .append(name)
        .append("\" VALUE=\"")
        .append(value)
        .append("\"/>\n");
  }
  Write(bin_dir_ + "/META_INFO/SQLiteConf/SQLiteConfig.xml", xml + "</Configs>\n");
}

void ProductFiles::InstallExtension(const std::string& file_name, const std::string& as) const {
  const std::string target = sys_dir() + "/" + (as.empty() ? file_name : as);
  fs::copy_file(std::string(PLINTH_SQLITE_EXT_DIR) + "/" + file_name, target,
                fs::copy_options::overwrite_existing);
}

}  // namespace plinth_test
