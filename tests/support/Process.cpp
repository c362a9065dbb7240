// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include "support/Process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <stdexcept>

namespace plinth_test {
namespace {

// Reads `fd` until end of file or `deadline`; false on timeout. `tick`, when
// set, is called at least every 20 ms while reading.
bool DrainPipe(int fd, std::string& out, std::chrono::steady_clock::time_point deadline,
               const std::function<void()>& tick) {
  char buf[4096];
  for (;;) {
    if (tick) tick();
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    if (tick) left = std::min(left, std::chrono::milliseconds(20));
    pollfd p{fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return false;
    if (ready == 0) continue;
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return true;
    out.append(buf, static_cast<std::size_t>(n));
  }
}

// Waits until process `pid` has ended (without reaping it) or `deadline`
// has passed; false on timeout.
bool AwaitExit(pid_t pid, std::chrono::steady_clock::time_point deadline) {
  const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  if (pidfd < 0) throw std::runtime_error("pidfd_open failed");
  bool ended = false;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{pidfd, POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    ended = ready > 0;
    break;
  }
  ::close(pidfd);
  return ended;
}

// The whole content of the file open at `fd`, read from its start.
std::string ReadWhole(int fd) {
  std::string text;
  char buf[4096];
  for (off_t at = 0;;) {
    const ssize_t n = ::pread(fd, buf, sizeof buf, at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return text;
    text.append(buf, static_cast<std::size_t>(n));
    at += n;
  }
}

// Pointers to the strings of `words`, ending with a null pointer.
std::vector<char*> CStrings(const std::vector<std::string>& words) {
  std::vector<char*> pointers;
  pointers.reserve(words.size() + 1);
  for (const std::string& word : words) pointers.push_back(const_cast<char*>(word.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& argv, const std::vector<std::string>& envp,
                         const ProcessOptions& options) {
  std::vector<char*> args = CStrings(argv);
  std::vector<char*> env = CStrings(envp);

  // Standard output goes to an anonymous file, read once the program has ended.
  const int out_file = ::memfd_create("plinth-stdout", MFD_CLOEXEC);
  if (out_file < 0) throw std::runtime_error("memfd_create failed");
  int err_pipe[2];
  if (::pipe2(err_pipe, O_CLOEXEC) != 0) {
    ::close(out_file);
    throw std::runtime_error("pipe2 failed");
  }
  if (options.stderr_reader_gone) ::close(err_pipe[0]);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out_file, 1);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
  if (options.working_directory >= 0) {
    posix_spawn_file_actions_addfchdir_np(&actions, options.working_directory);
  }
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), env.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(err_pipe[1]);
  if (spawned != 0) {
    ::close(out_file);
    if (!options.stderr_reader_gone) ::close(err_pipe[0]);
    throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(spawned));
  }

  ProcessResult result;
  const auto deadline = std::chrono::steady_clock::now() + options.timeout;
  bool killed = false;
  std::function<void()> tick;
  if (!options.kill_when_exists.empty()) {
    tick = [&] {
      if (!killed && ::access(options.kill_when_exists.c_str(), F_OK) == 0) {
        killed = ::kill(pid, SIGKILL) == 0;
      }
    };
  }
  if (options.stderr_reader_gone) {
    result.timed_out = !AwaitExit(pid, deadline);
  } else {
    result.timed_out = !DrainPipe(err_pipe[0], result.std_err, deadline, tick);
    ::close(err_pipe[0]);
  }
  if (result.timed_out) ::kill(pid, SIGKILL);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.term_signal = WTERMSIG(status);
  result.std_out = ReadWhole(out_file);
  ::close(out_file);
  return result;
}

}  // namespace plinth_test
