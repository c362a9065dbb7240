// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include "ConfigProduct.h"

#include <filesystem>
#include <fstream>

#include "Business/SqlText.h"
#include "Config/ToolSetup.h"
#include "FuzzSupport.h"
#include "QuillBase.h"
#include "SqlProbe.h"

namespace plinth_fuzz {

void WriteWholeFile(const std::string& path, const std::string& content) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  FUZZ_CHECK(static_cast<bool>(out), "cannot write " + path);
}

const ConfigProduct& SetUpConfigProduct() {
  static const ConfigProduct product = [] {
    const std::string root = PrivateDir() + "/product";
    ConfigProduct p;
    p.exe_dir = root + "/bin/";
    p.data_dir = root + "/data";
    p.sys_path = root + "/system";
    p.sqlite_config = p.exe_dir + "META_INFO/SQLiteConf/SQLiteConfig.xml";
    p.inv_config = p.sys_path + "/META_INFO/inv/runtime_script/DBConfig.xml";
    WriteWholeFile(p.exe_dir + "META_INFO/InitSetup.xml", "<Configs><SQLiteDataPath>" + p.data_dir +
                                                              "</SQLiteDataPath><SYSPath>" +
                                                              p.sys_path + "</SYSPath></Configs>");
    WriteWholeFile(root + "/Product.xml",
                   "<ProductDescription><Product>SampleProduct</Product></ProductDescription>");
    const auto db_config = [](const std::string& schema, const std::string& file) {
      return "<DBConfig><SampleProduct><SQLite><Schema>" + schema + "</Schema><SQLiteFileName>" +
             file + "</SQLiteFileName></SQLite></SampleProduct></DBConfig>";
    };
    WriteWholeFile(p.inv_config, db_config("inv", "inv.db"));
    WriteWholeFile(p.sys_path + "/META_INFO/event.s/runtime_script/DBConfig.xml",
                   db_config("event", "event.db"));
    WriteWholeFile(p.sqlite_config, std::string("<Configs><Config PRAGMA=\"key\" VALUE=\"") +
                                        "Fz-k'e&quot;y;--9q" + "\"/></Configs>");
    Quill::Base::FileUtil::InitCurExeDirUtf8(p.exe_dir);
    FUZZ_CHECK(plinth::CToolSetup::GetInstance()->InitSetup(), "the tool settings do not read");
    TakeLogLines();
    return p;
  }();
  return product;
}

std::optional<std::string> BuildAttach(const std::string& path, const std::string& schema,
                                       const std::optional<std::string>& key) {
  std::optional<std::string_view> key_view;
  if (key) key_view = *key;
  return plinth::AttachStatement(path, schema, key_view);
}

void CheckAttach(const std::optional<std::string>& sql, const std::string& path,
                 const std::string& schema, const std::optional<std::string>& key) {
  FUZZ_CHECK(sql.has_value(), "an attach statement was not built");
  const ProbedStatement probed = ProbeStatement(*sql);
  FUZZ_CHECK(probed.problem.empty(), "attach: not one statement (" + probed.problem + ")");
  FUZZ_CHECK(probed.attach.size() == 3, "attach: SQLite loads no file, schema and key");
  FUZZ_CHECK(probed.attach[0] == path, "attach: SQLite reads another path");
  FUZZ_CHECK(probed.attach[1] == schema, "attach: SQLite reads another schema");
  FUZZ_CHECK(probed.attach[2] == key, "attach: SQLite reads another key");
}

}  // namespace plinth_fuzz
