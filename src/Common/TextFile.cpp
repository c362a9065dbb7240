#include "Common/TextFile.h"

#include <utility>

#include "Common/FileBak.h"

namespace plinth {

bool ReadTextFile(const LogSite& at, const std::string& path, std::string& text) {
  if (CFileBak::ReadFile(text, path)) return true;
  PLINTH_LOG_AT(at, 6, "[%s]ReadFile fail, path = %s[%s(%d)]", path.c_str());
  return false;
}

XmlFileRead ReadXmlFile(const LogSite& at, const std::string& path, proto::CXmlProto& xml) {
  std::string text;
  if (!ReadTextFile(at, path, text)) return XmlFileRead::kUnreadable;
  if (xml.Parse(std::move(text))) return XmlFileRead::kParsed;
  PLINTH_LOG_AT(at, 6, "[%s]%s is not well-formed XML: %s[%s(%d)]", path.c_str(),
                xml.GetParseError().c_str());
  return XmlFileRead::kNotWellFormed;
}

}  // namespace plinth
