// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// The log lines that code under test writes in this process. The unit tests'
// main has the logger write "LEVEL message" lines into one file
// (ConfigureTestLog); a capture remembers where that file ended when it was
// made.
#ifndef PLINTH_TESTS_UNIT_LOGCAPTURE_H_
#define PLINTH_TESTS_UNIT_LOGCAPTURE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "support/LogText.h"

namespace plinth_test {

// Configures the process's logger to write into a log file in `dir`, which
// must outlive the tests. Called once, by the test main.
void ConfigureTestLog(const std::string& dir);

class LogCapture {
 public:
  LogCapture();
  std::vector<LogLine> Lines() const;
  // The same, with the line numbers of "[file(line)]" written as "*".
  std::vector<LogLine> LinesWithoutNumbers() const;

 private:
  std::uintmax_t start_;
};

}  // namespace plinth_test

#endif  // PLINTH_TESTS_UNIT_LOGCAPTURE_H_
