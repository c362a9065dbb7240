// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// The log of a run as tests read it: a log4cxx configuration that writes
// "LEVEL message" lines into one file, and the parsing of those lines.
#ifndef PLINTH_TESTS_SUPPORT_LOGTEXT_H_
#define PLINTH_TESTS_SUPPORT_LOGTEXT_H_

#include <ostream>
#include <string>
#include <vector>

namespace plinth_test {

// The text of a log4cxx properties file that sends every line of every
// logger, from TRACE on, to the file `log_file`, appended, in the layout
// "%p %m%n".
std::string LogProperties(const std::string& log_file);

struct LogLine {
  std::string level;    // "INFO", "WARN", "ERROR", "FATAL", ...
  std::string message;  // as formatted by the tool
  bool operator==(const LogLine& other) const {
    return level == other.level && message == other.message;
  }
  friend std::ostream& operator<<(std::ostream& os, const LogLine& line) {
    return os << line.level << " " << line.message;
  }
};

// Splits log text written with the layout "%p %m%n" into lines.
std::vector<LogLine> ParseLog(const std::string& text);

// `message` with the line number of its closing "[file(line)]" written as "*".
std::string WithoutLineNumber(const std::string& message);

}  // namespace plinth_test

#endif  // PLINTH_TESTS_SUPPORT_LOGTEXT_H_
