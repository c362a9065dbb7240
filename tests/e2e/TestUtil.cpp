// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include "e2e/TestUtil.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "support/Process.h"

extern char** environ;

namespace plinth_e2e {

::testing::AssertionResult InOrder(const RunResult& run, const Lines& expected) {
  return InOrder(run.Lines(), expected, run);
}

::testing::AssertionResult InOrder(const Lines& lines, const Lines& expected,
                                   const RunResult& run) {
  std::size_t at = 0;
  for (const std::string& want : expected) {
    while (at < lines.size() && lines[at] != want) ++at;
    if (at == lines.size()) {
      return ::testing::AssertionFailure() << "missing, or out of order: " << want << "\n"
                                           << run.Dump();
    }
    ++at;
  }
  return ::testing::AssertionSuccess();
}

RunningInstance::RunningInstance(const std::string& tmp_dir) : path_(tmp_dir + "/" + kLockName) {
  const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    error_ = "open " + path_ + ": " + std::strerror(errno);
    return;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    error_ = "flock " + path_ + ": " + std::strerror(errno);
    ::close(fd);
    return;
  }
  fd_ = fd;
}

RunningInstance::~RunningInstance() { Release(); }

void RunningInstance::Release() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

Lines WithPlaceholder(const Lines& lines, const std::string& value) {
  Lines replaced = lines;
  for (std::string& line : replaced) {
    const std::size_t at = line.find('@');
    if (at != std::string::npos) line.replace(at, 1, value);
  }
  return replaced;
}

::testing::AssertionResult NowhereInOutput(const RunResult& run, const std::string& text) {
  if (run.std_err.find(text) != std::string::npos) {
    return ::testing::AssertionFailure() << text << " on standard error:\n" << run.std_err;
  }
  const int at = run.Find(text);
  if (at >= 0) {
    return ::testing::AssertionFailure() << text << " in the log: " << run.log[at].message;
  }
  return ::testing::AssertionSuccess();
}

std::vector<std::string> Environment() {
  std::vector<std::string> envp;
  for (char** e = environ; *e != nullptr; ++e) envp.emplace_back(*e);
  return envp;
}

std::string Shell(const std::string& path, const std::string& key, const Settings& settings,
                  const std::string& sql) {
  std::string literal;
  for (const char c : key) literal += c == '\'' ? std::string("''") : std::string(1, c);
  std::vector<std::string> argv = {"sqlcipher", "-batch",
                                   "-cmd",      ".output /dev/null",
                                   "-cmd",      "PRAGMA key = '" + literal + "';"};
  for (const auto& [name, value] : settings) {
    argv.insert(argv.end(), {"-cmd", "PRAGMA " + name + " = " + value + ";"});
  }
  argv.insert(argv.end(), {"-cmd", ".output stdout", path, sql});
  const plinth_test::ProcessResult shell = plinth_test::RunProcess(argv, Environment(), {});
  if (shell.exit_code == 0) return shell.std_out;
  std::string err = shell.std_err;
  while (!err.empty() && err.back() == '\n') err.pop_back();
  return "error: " + err.substr(err.rfind('\n') + 1);
}

std::string DirectorySnapshot(const std::string& dir) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (!fs::exists(dir, ec)) return std::string();
  std::vector<std::string> entries;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    std::string text = entry.path().string();
    if (entry.is_regular_file()) {
      std::ifstream in(entry.path(), std::ios::binary);
      text += "=" + std::string(std::istreambuf_iterator<char>(in), {});
    }
    entries.push_back(text);
  }
  std::sort(entries.begin(), entries.end());
  std::string snapshot = dir + "\n";
  for (const std::string& entry : entries) snapshot += entry + "\n";
  return snapshot;
}

}  // namespace plinth_e2e
