// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// End-to-end harness: a product tree (support/ProductFiles.h) with a copy of
// the built Plinth binary and its log configuration, which runs the binary and
// hands back the exit code, standard output, standard error and the log
// lines. Every tree has its own TMPDIR, so the single-instance guard of one
// test never meets another's and tests run in parallel.
//
// Besides the product's files, the tree holds:
//   <root>/bin/Plinth                              the binary under test
//   <root>/bin/META_INFO/plinth.log4cxx.properties file appender, "LEVEL message"
//   <root>/plinth.log                              the log of the last run
//   <root>/tmp/                                    TMPDIR of the run
#ifndef PLINTH_TESTS_E2E_HARNESS_H_
#define PLINTH_TESTS_E2E_HARNESS_H_

#include <string>
#include <vector>

#include "support/LogText.h"
#include "support/Process.h"
#include "support/ProductFiles.h"

namespace plinth_e2e {

using plinth_test::kKey;
using plinth_test::LogLine;
using plinth_test::WithoutLineNumber;

// How the run ended (exit code, signal, timeout, standard output and error)
// and what it logged.
struct RunResult : plinth_test::ProcessResult {
  std::vector<LogLine> log;

  // The log as "LEVEL message" lines with the line number of the closing
  // "[file(line)]" written as "*": "FATAL [f]data path empty.[ToolSetup.cpp(*)]".
  std::vector<std::string> Lines() const;
  // Index of the first log line whose message contains `part`; -1 if none.
  int Find(const std::string& part) const;
  // True when a line reads `line` in the form of Lines().
  bool Has(const std::string& line) const;
  // Standard error as lines, with the line number of a closing "[file(line)]"
  // written as "*".
  std::vector<std::string> StderrLines() const;
  // The whole log as "LEVEL message" lines, for failure output.
  std::string Dump() const;
};

// How ProductTree::Run starts the binary, besides the defaults.
struct RunOptions {
  // "NAME=value" entries added to the environment, in place of the inherited
  // value of that name.
  std::vector<std::string> extra_env;
  // Standard error is a pipe whose reader has closed it before the start:
  // every write there fails (EPIPE, or death by SIGPIPE). std_err stays empty.
  bool stderr_reader_gone = false;
  // Above 0: the address space of the run is limited to this many bytes
  // (through util-linux's prlimit).
  unsigned long long address_space_limit = 0;
  // At or above 0: a directory descriptor the run starts in, and `program`
  // the binary to start, relative to it (instead of the tree's bin/Plinth).
  int working_directory = -1;
  std::string program;
  // Not empty: the run is killed with SIGKILL as soon as a file exists at this
  // absolute path (term_signal then says SIGKILL).
  std::string kill_when_exists;
  // The log file is left as it is and RunResult::log stays empty: for runs
  // that share one log, read afterwards with ReadLog().
  bool keep_log = false;
};

class ProductTree : public plinth_test::ProductFiles {
 public:
  // `bin_name` is the name of the executable's directory below the root; it
  // may hold blanks and non-ASCII characters.
  explicit ProductTree(const std::string& bin_name = "bin");

  std::string tmp_dir() const { return Path("tmp"); }

  // Runs `sql` on the existing database file `path` (relative to the data
  // directory, or absolute) opened with `key` (none when empty): the rows as
  // "a|b" lines, or "error: <message>".
  std::string Query(const std::string& path, const std::string& sql,
                    const std::string& key = kKey) const;

  // Runs the binary with `args`, the tree's TMPDIR and `extra_env`
  // ("NAME=value" entries); waits at most 120 s.
  RunResult Run(const std::vector<std::string>& args,
                const std::vector<std::string>& extra_env = {}) const;
  RunResult Run(const std::vector<std::string>& args, const RunOptions& options) const;

  // The log file's lines, which are then removed with the file.
  std::vector<LogLine> ReadLog() const;
};

}  // namespace plinth_e2e

#endif  // PLINTH_TESTS_E2E_HARNESS_H_
