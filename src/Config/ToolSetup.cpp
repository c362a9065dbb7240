#include "Config/ToolSetup.h"

#include <memory>

#include "Common/FileBak.h"
#include "Common/LazyInstance.h"
#include "Common/Log.h"
#include "External/XmlProto.h"
#include "Port/Port.h"

namespace plinth {
namespace {

// Reads the XML file at `path` (local code page) into `xml`. False, logged on
// behalf of `function`, when the file cannot be read. A text that is not
// well-formed XML is logged with the parser's reason and leaves `xml` empty,
// so that the required values are missing.
bool LoadXmlFile(const std::string& path, const std::string& function, proto::CXmlProto& xml) {
  std::string text;
  if (!CFileBak::ReadFile(text, path)) {
    PLINTH_LOG_AS(function, 6, "[%s]ReadFile fail, path = %s[%s(%d)]", path.c_str());
    return false;
  }
  if (!xml.Parse(std::move(text))) {
    PLINTH_LOG_AS(function, 6, "[%s]%s is not well-formed XML: %s[%s(%d)]", path.c_str(),
                  xml.GetParseError().c_str());
  }
  return true;
}

}  // namespace

CToolSetup* CToolSetup::GetInstance() { return LazyInstance<CToolSetup>::Get(); }

bool CToolSetup::InitSetup() {
  s_special_plugins_ = {"event.s"};
  const std::string function = PLINTH_FUNCTION;
  return ReadSettingsFile(function) && ReadProductDescription(function);
}

bool CToolSetup::ReadSettingsFile(const std::string& function) {
  const std::string path = Quill::Base::StringUtil::UTF82Local(
      Quill::Base::FileUtil::GetCurExeDirUtf8() + port::NativePath("META_INFO/InitSetup.xml"));
  auto xml = std::make_unique<proto::CXmlProto>();
  if (!LoadXmlFile(path, function, *xml)) return false;
  s_db_data_dir_ = xml->GetNodeText("/Configs/SQLiteDataPath", "");
  PLINTH_LOG_AS(function, 3, "[%s]s_db_data_dir_: %s[%s(%d)]", s_db_data_dir_.c_str());
  if (s_db_data_dir_.empty()) {
    PLINTH_LOG_AS(function, 6, "[%s]data path empty.[%s(%d)]");
    return false;
  }
  s_sys_path_ = xml->GetNodeText("/Configs/SYSPath", "");
  PLINTH_LOG_AS(function, 3, "[%s]s_sys_path_: %s[%s(%d)]", s_sys_path_.c_str());
  if (s_sys_path_.empty()) {
    PLINTH_LOG_AS(function, 6, "[%s]SYS path empty.[%s(%d)]");
    return false;
  }
  return true;
}

bool CToolSetup::ReadProductDescription(const std::string& function) {
  const std::string path =
      Quill::Base::StringUtil::UTF82Local(s_sys_path_ + port::NativePath("/../Product.xml"));
  auto xml = std::make_unique<proto::CXmlProto>();
  if (!LoadXmlFile(path, function, *xml)) return false;
  s_product_type = xml->GetNodeText("/ProductDescription/Product", "");
  PLINTH_LOG_AS(function, 3, "[%s]s_product_type: %s[%s(%d)]", s_product_type.c_str());
  if (s_product_type.empty()) {
    PLINTH_LOG_AS(function, 6, "[%s]Product type empty.[%s(%d)]");
    return false;
  }
  return true;
}

}  // namespace plinth
