// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include "Common/TextFile.h"

#include <utility>

namespace plinth {
namespace {

bool LogReadFailure(const LogSite& at, const std::string& path) {
  PLINTH_LOG_AT(at, LogLevel::kFatal, "[%s]ReadFile fail, path = %s[%s(%d)]", path.c_str());
  return false;
}

}  // namespace

bool ReadTextFile(const LogSite& at, const std::string& path, std::string& text) {
  return CFileBak::ReadFile(text, path) || LogReadFailure(at, path);
}

bool OpenTextFile(const LogSite& at, const std::string& path, CInputFile& file) {
  return CFileBak::ReadFile(file, path) || LogReadFailure(at, path);
}

XmlFileRead ReadXmlFile(const LogSite& at, const std::string& path, proto::CXmlProto& xml) {
  std::string text;
  if (!ReadTextFile(at, path, text)) return XmlFileRead::kUnreadable;
  if (xml.Parse(std::move(text))) return XmlFileRead::kParsed;
  PLINTH_LOG_AT(at, LogLevel::kFatal, "[%s]%s is not well-formed XML: %s[%s(%d)]", path.c_str(),
                xml.GetParseError().c_str());
  return XmlFileRead::kNotWellFormed;
}

bool ReadXmlFileQuietly(const std::string& path, proto::CXmlProto& xml) {
  std::string text;
  return CFileBak::ReadFileQuietly(text, path) && xml.Parse(std::move(text));
}

}  // namespace plinth
