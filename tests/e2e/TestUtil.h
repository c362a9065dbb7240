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

// Success when `expected` appear among the run's Lines() in this order, others
// coming between.
::testing::AssertionResult InOrder(const RunResult& run, const Lines& expected);

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
