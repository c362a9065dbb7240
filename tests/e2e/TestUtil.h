// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// Assertions shared by the end-to-end tests.
#ifndef PLINTH_TESTS_E2E_TESTUTIL_H_
#define PLINTH_TESTS_E2E_TESTUTIL_H_

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "e2e/Harness.h"

namespace plinth_e2e {

using Lines = std::vector<std::string>;
// Settings of SQLiteConfig.xml: (PRAGMA, VALUE) pairs.
using Settings = std::vector<std::pair<std::string, std::string>>;

// The name of the lock file a running Plinth holds in its temporary directory.
inline constexpr char kLockName[] = "{A6953687-CDEA-5AB4-8767-5Yid5aeL5YyW5bel5YW3}.lock";

// Success when `expected` appear among the run's Lines() in this order, others
// coming between.
::testing::AssertionResult InOrder(const RunResult& run, const Lines& expected);

// The same for `lines`, which are `run`'s lines as the caller has rewritten
// them; the failure shows `run` as it was.
::testing::AssertionResult InOrder(const Lines& lines, const Lines& expected, const RunResult& run);

// Holds the lock file in `tmp_dir` as a running Plinth holds it: created with
// mode 0600 and locked, until Release() or the end of this object.
class RunningInstance {
 public:
  explicit RunningInstance(const std::string& tmp_dir);
  ~RunningInstance();
  RunningInstance(const RunningInstance&) = delete;
  RunningInstance& operator=(const RunningInstance&) = delete;

  // Whether the lock is held; when not, error() says why.
  bool held() const { return fd_ >= 0; }
  const std::string& error() const { return error_; }
  // The lock file's path.
  const std::string& path() const { return path_; }
  void Release();

 private:
  std::string path_;
  std::string error_;
  int fd_ = -1;
};

// `lines` with the first "@" of each replaced by `value`.
Lines WithPlaceholder(const Lines& lines, const std::string& value);

// Success when no line of the log and nothing on standard error holds `text`.
::testing::AssertionResult NowhereInOutput(const RunResult& run, const std::string& text);

// The environment of the test process, as "NAME=value" entries.
std::vector<std::string> Environment();

// Runs the sqlcipher shell on the file `path` with the key `key` (as SQLCipher
// is given it: its quotes are doubled in the literal) and the statements
// `PRAGMA <name> = <value>;` of `settings` (their output discarded), then
// `sql`: what it printed, or "error: <its last line on standard error>".
std::string Shell(const std::string& path, const std::string& key, const Settings& settings,
                  const std::string& sql);

// The names and contents of the files below `dir`, as one text; empty when
// `dir` does not exist. Compare two to see that a run touched nothing there.
std::string DirectorySnapshot(const std::string& dir);

}  // namespace plinth_e2e

#endif  // PLINTH_TESTS_E2E_TESTUTIL_H_
