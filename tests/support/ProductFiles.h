// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// A complete small product laid out in a fresh temporary directory, for tests
// that run the database build on it (in process or through the binary):
//
//   <root>/bin/META_INFO/InitSetup.xml             data and system directories
//   <root>/bin/META_INFO/SQLiteConf/SQLiteConfig.xml  the key kKey, no settings
//   <root>/bin/META_INFO/db_init/SQLite/create_public_data.sql
//   <root>/product/Product.xml                     product type "ProductA"
//   <root>/product/system/                         the system directory, with
//       public.func.sqlite.so, META_INFO/ProductVersionToDB.sql, and the
//       DBConfig.xml of "platform" (META_INFO/SYS: schema platform, platform.db)
//       and of "event.s" (schema event, event.db)
//   <root>/data/                                   the data directory (not created)
#ifndef PLINTH_TESTS_SUPPORT_PRODUCTFILES_H_
#define PLINTH_TESTS_SUPPORT_PRODUCTFILES_H_

#include <string>
#include <utility>
#include <vector>

namespace plinth_test {

// The encryption key of the default tree; it occurs nowhere else, so a log
// can be searched for it.
inline constexpr char kKey[] = "Qz7-unique-k3y-9fX";

class ProductFiles {
 public:
  // `bin_name` is the name of the executable's directory below the root; it
  // may hold blanks and non-ASCII characters.
  explicit ProductFiles(const std::string& bin_name = "bin");
  // Removes the tree, unless PLINTH_KEEP_TEST_TREES is set.
  ~ProductFiles();
  ProductFiles(const ProductFiles&) = delete;
  ProductFiles& operator=(const ProductFiles&) = delete;

  const std::string& root() const { return root_; }
  std::string Path(const std::string& relative) const { return root_ + "/" + relative; }
  const std::string& bin_dir() const { return bin_dir_; }
  std::string sys_dir() const { return Path("product/system"); }
  std::string data_dir() const { return Path("data"); }

  // Writes `content` to `path` (absolute, or relative to the root), creating
  // parent directories.
  void Write(const std::string& path, const std::string& content) const;
  void Remove(const std::string& path) const;
  // Whether something is at `path`; a link is not followed.
  bool Exists(const std::string& path) const;
  std::string Read(const std::string& path) const;

  // Writes InitSetup.xml with the given element texts.
  void WriteInitSetup(const std::string& data_dir, const std::string& sys_dir) const;

  // Path of a plug-in's file below the system directory's META_INFO: the
  // directory of "platform" is SYS. PluginFile("event.s", "x") is
  // <system>/META_INFO/event.s/runtime_script/x.
  std::string PluginFile(const std::string& plugin, const std::string& name) const;
  // Path of a plug-in's script, below runtime_script/db_init/SQLite/.
  std::string ScriptFile(const std::string& plugin, const std::string& name) const;

  // Writes the plug-in's DBConfig.xml: `sqlite` is the content of the SQLite
  // element under the product type "ProductA".
  void WriteDBConfig(const std::string& plugin, const std::string& sqlite) const;
  // Shorthand for the usual content: Schema, SQLiteFileName and `extra`.
  static std::string DBConfigBody(const std::string& schema, const std::string& file,
                                  const std::string& extra = "");
  // The DBInitForOtherPlugins element of a plug-in whose scripts `paths`
  // ("<Path>...</Path>" elements) run in the database of event.s.
  static std::string EventSScripts(const std::string& paths);

  // Writes SQLiteConfig.xml with one Config element per pair (PRAGMA, VALUE).
  void WriteSQLiteConfig(const std::vector<std::pair<std::string, std::string>>& settings) const;

  // Copies the built extension library `file_name` (e.g.
  // "failing.func.sqlite.so") into the system directory as `as` (default: the
  // same name).
  void InstallExtension(const std::string& file_name, const std::string& as = "") const;

 private:
  std::string Absolute(const std::string& path) const;

  std::string root_;
  std::string bin_dir_;
};

}  // namespace plinth_test

#endif  // PLINTH_TESTS_SUPPORT_PRODUCTFILES_H_
