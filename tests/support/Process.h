// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// Running a program as a child process and collecting how it ended.
#ifndef PLINTH_TESTS_SUPPORT_PROCESS_H_
#define PLINTH_TESTS_SUPPORT_PROCESS_H_

#include <chrono>
#include <string>
#include <vector>

namespace plinth_test {

struct ProcessOptions {
  // Standard error is a pipe whose reader has closed it before the start:
  // every write there fails (EPIPE, or death by SIGPIPE).
  bool stderr_reader_gone = false;
  // At or above 0: a directory descriptor the program starts in.
  int working_directory = -1;
  // How long the program may run before it is killed.
  std::chrono::seconds timeout{120};
  // Not empty: the program is killed with SIGKILL as soon as a file exists at
  // this path (term_signal then says SIGKILL). Watched while standard error
  // is read, so not with `stderr_reader_gone`.
  std::string kill_when_exists;
};

struct ProcessResult {
  int exit_code = -1;   // -1 when the process did not exit normally
  int term_signal = 0;  // the signal that ended it, if any
  bool timed_out = false;
  std::string std_out;
  std::string std_err;  // empty with ProcessOptions::stderr_reader_gone
};

// Starts `argv` (argv[0] looked up in PATH unless it holds a "/") with the
// environment `envp` ("NAME=value" entries) and standard input on /dev/null,
// and waits for it, reading its standard output and standard error. Throws
// std::runtime_error when it cannot be started.
ProcessResult RunProcess(const std::vector<std::string>& argv, const std::vector<std::string>& envp,
                         const ProcessOptions& options);

}  // namespace plinth_test

#endif  // PLINTH_TESTS_SUPPORT_PROCESS_H_
