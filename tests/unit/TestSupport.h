// Shared pieces of the unit tests: a scoped temporary directory, file helpers
// and a capture of the log lines written while a test runs.
#ifndef PLINTH_TESTS_UNIT_TESTSUPPORT_H_
#define PLINTH_TESTS_UNIT_TESTSUPPORT_H_

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e/Harness.h"

namespace plinth_test {

// A fresh directory below the system's temporary directory, removed with
// everything in it when the object goes.
class ScopedTempDir {
 public:
  ScopedTempDir();
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // `path()` joined with `relative`, as a string.
  std::string Sub(const std::string& relative) const;

 private:
  std::filesystem::path path_;
};

// Writes `content` to `path`, creating missing parent directories.
void WriteFile(const std::string& path, const std::string& content);
std::string ReadWholeFile(const std::string& path);

using LogLine = plinth_e2e::LogLine;

// The log lines written from construction on. The test main configures the
// logger to write "LEVEL message" lines into one file; a capture remembers
// where that file ended when it was made.
class LogCapture {
 public:
  LogCapture();
  std::vector<LogLine> Lines() const;
  // The same, with the line numbers of "[file(line)]" written as "*".
  std::vector<LogLine> LinesWithoutNumbers() const;

 private:
  std::uintmax_t start_;
};

// Path of the log file that the test main configured.
std::string LogFilePath();

}  // namespace plinth_test

#endif  // PLINTH_TESTS_UNIT_TESTSUPPORT_H_
