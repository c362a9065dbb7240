// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include "unit/LogCapture.h"

#include <filesystem>

#include "QuillBase.h"
#include "support/TempDir.h"

namespace plinth_test {
namespace {

std::string& LogFile() {
  static std::string path;
  return path;
}

}  // namespace

void ConfigureTestLog(const std::string& dir) {
  LogFile() = dir + "/test.log";
  const std::string properties = dir + "/test.properties";
  WriteFile(properties, LogProperties(LogFile()));
  Quill::Base::CSingleton<Quill::Base::details::CLog>::Instance()->InitLog(properties);
}

LogCapture::LogCapture() {
  std::error_code ec;
  start_ = std::filesystem::file_size(LogFile(), ec);
  if (ec) start_ = 0;
}

std::vector<LogLine> LogCapture::Lines() const {
  return ParseLog(ReadWholeFile(LogFile()).substr(start_));
}

std::vector<LogLine> LogCapture::LinesWithoutNumbers() const {
  std::vector<LogLine> lines = Lines();
  for (LogLine& line : lines) line.message = WithoutLineNumber(line.message);
  return lines;
}

}  // namespace plinth_test
