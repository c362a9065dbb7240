// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include "support/LogText.h"

namespace plinth_test {

std::string LogProperties(const std::string& log_file) {
  return "log4j.rootLogger=TRACE, file\n"
         "log4j.appender.file=org.apache.log4j.FileAppender\n"
         "log4j.appender.file.File=" +
         log_file +
         "\n"
         "log4j.appender.file.Append=true\n"
         "log4j.appender.file.layout=org.apache.log4j.PatternLayout\n"
         "log4j.appender.file.layout.ConversionPattern=%p %m%n\n";
}

std::vector<LogLine> ParseLog(const std::string& text) {
  std::vector<LogLine> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(pos, end - pos);
    const std::size_t blank = line.find(' ');
    if (blank == std::string::npos) {
      lines.push_back({line, ""});
    } else {
      lines.push_back({line.substr(0, blank), line.substr(blank + 1)});
    }
    pos = end + 1;
  }
  return lines;
}

std::string WithoutLineNumber(const std::string& message) {
  if (message.size() < 2 || message.compare(message.size() - 2, 2, ")]") != 0) return message;
  const std::size_t open = message.rfind('(');
  if (open == std::string::npos) return message;
  const std::string digits = message.substr(open + 1, message.size() - open - 3);
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) {
    return message;
  }
  return message.substr(0, open) + "(*)]";
}

}  // namespace plinth_test
