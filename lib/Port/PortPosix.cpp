// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// POSIX implementation of the platform services (Linux).
#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "Port.h"

namespace port {

const char kPathSeparator[] = "/";
const char kSharedLibrarySuffix[] = ".so";

std::string NativePath(const std::string& path) { return path; }

std::string ExecutablePath() {
  std::vector<char> buf(256);
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n <= 0) return std::string();
    if (static_cast<std::size_t>(n) < buf.size()) {
      return std::string(buf.data(), static_cast<std::size_t>(n));
    }
    buf.resize(buf.size() * 2);
  }
}

namespace {

std::string TempDir() {
  const char* tmp = std::getenv("TMPDIR");
  return (tmp != nullptr && *tmp != '\0') ? tmp : "/tmp";
}

}  // namespace

// ---------------------------------------------------------------------------
// Single-instance guard.

namespace {

std::string SystemProblem(const char* call, int err) {
  return std::string(call) + ": " + std::strerror(err);
}

// Why the object described by `st` cannot serve as our lock file; empty when
// it is a regular file with one name, owned by the effective user. Anything
// else may have been placed there by someone else to make every run stop, or
// to have a file of theirs changed.
std::string UntrustedLockProblem(const struct stat& st) {
  if (S_ISLNK(st.st_mode)) return "it is a symbolic link";
  if (S_ISDIR(st.st_mode)) return "it is a directory";
  if (!S_ISREG(st.st_mode)) return "it is not a regular file";
  const uid_t self = ::geteuid();
  if (st.st_uid != self) {
    return "it is owned by user " + std::to_string(st.st_uid) + ", not by this user (" +
           std::to_string(self) + ")";
  }
  if (st.st_nlink != 1) return "it has " + std::to_string(st.st_nlink) + " names (hard links)";
  return std::string();
}

constexpr int kLockFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
constexpr mode_t kLockMode = S_IRUSR | S_IWUSR;

// What became of one attempt to open the lock file.
enum class LockOpen { kOpened, kFailed, kAgain };

// Opens the lock file at `path`: the one there, or a new one made with mode
// 0600. A file of ours that grants anything to the group or to others was
// made by an older Plinth before the mode was narrowed, and another user may
// hold it open (fchmod revokes no descriptor) to hold the lock against us: it
// is replaced by a new file. kAgain when another start replaced or created
// the file in between.
LockOpen TryOpenLockFile(const std::string& path, int* fd, InstanceGuard* answer,
                         std::string* problem) {
  *fd = ::open(path.c_str(), kLockFlags);
  if (*fd < 0 && errno == ENOENT) {
    *fd = ::open(path.c_str(), kLockFlags | O_CREAT | O_EXCL, kLockMode);
    if (*fd < 0 && errno == EEXIST) return LockOpen::kAgain;
  }
  struct stat st;
  if (*fd < 0) {
    const int err = errno;
    // The open also fails for a symbolic link, a directory or (with the
    // kernel's protected_regular) another user's file in a sticky directory.
    if (::lstat(path.c_str(), &st) == 0) *problem = UntrustedLockProblem(st);
    *answer = problem->empty() ? InstanceGuard::kNotTaken : InstanceGuard::kUntrusted;
    if (problem->empty()) *problem = SystemProblem("open", err);
    return LockOpen::kFailed;
  }
  if (::fstat(*fd, &st) != 0) {
    *answer = InstanceGuard::kNotTaken;
    *problem = SystemProblem("fstat", errno);
  } else if (*problem = UntrustedLockProblem(st); !problem->empty()) {
    *answer = InstanceGuard::kUntrusted;
  } else if ((st.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
    // Removed only while the name still holds the file that was looked at;
    // a new Plinth never makes such a file, so what another start put there
    // in between is left alone, but for the instant between the two calls.
    // An older Plinth that still holds the removed file may then run beside
    // this one: it never looks at the new file.
    struct stat now;
    ::close(*fd);
    if (::lstat(path.c_str(), &now) == 0 && now.st_dev == st.st_dev && now.st_ino == st.st_ino &&
        ::unlink(path.c_str()) != 0 && errno != ENOENT) {
      *answer = InstanceGuard::kNotTaken;
      *problem = SystemProblem("unlink", errno);
      return LockOpen::kFailed;
    }
    return LockOpen::kAgain;
  } else if ((st.st_mode & 07777) != kLockMode && ::fchmod(*fd, kLockMode) != 0) {
    // Mode 0400 or 0700, say: only the owner's bits differ.
    *answer = InstanceGuard::kNotTaken;
    *problem = SystemProblem("fchmod", errno);
  } else {
    return LockOpen::kOpened;
  }
  ::close(*fd);
  return LockOpen::kFailed;
}

// True when the name `path` still holds the file open as `fd`. A lock taken
// on a file that another start has replaced in the meantime guards nothing.
bool StillAtItsName(int fd, const std::string& path) {
  struct stat held, named;
  return ::fstat(fd, &held) == 0 && ::lstat(path.c_str(), &named) == 0 &&
         held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

}  // namespace

InstanceGuard TakeInstanceGuard(const char* name, std::string* where, std::string* problem) {
  // Lock files this process already holds: asking again must not see our
  // own lock as another instance.
  static std::vector<std::string> held;
  const std::string path = TempDir() + "/" + name + ".lock";
  *where = "lock file " + path;
  problem->clear();
  if (std::find(held.begin(), held.end(), path) != held.end()) return InstanceGuard::kTaken;

  // Each round ends in an answer, unless another start replaced or created
  // the file meanwhile; a few rounds settle any such race.
  for (int round = 0; round < 100; ++round) {
    InstanceGuard answer = InstanceGuard::kTaken;
    int fd = -1;
    problem->clear();
    const LockOpen opened = TryOpenLockFile(path, &fd, &answer, problem);
    if (opened == LockOpen::kFailed) return answer;
    if (opened == LockOpen::kAgain) continue;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int err = errno;
      ::close(fd);
      if (err == EWOULDBLOCK) return InstanceGuard::kRunning;
      *problem = SystemProblem("flock", err);
      return InstanceGuard::kNotTaken;
    }
    if (StillAtItsName(fd, path)) {
      held.push_back(path);  // `fd` stays open: the lock lives with the process.
      return InstanceGuard::kTaken;
    }
    ::close(fd);
  }
  *problem = "the file keeps being replaced";
  return InstanceGuard::kNotTaken;
}

void DisableCoreDumps() { ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0); }

void IgnoreBrokenPipes() { ::signal(SIGPIPE, SIG_IGN); }

bool EnableDebugPrivilege() { return false; }

// ---------------------------------------------------------------------------
// Files.

namespace {

// Checks that `fd` is a regular file and makes it blocking. Returns 0, or
// EISDIR for a directory, EINVAL for any other kind of file, else errno.
int PrepareRegularFile(int fd) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return errno;
  if (S_ISDIR(st.st_mode)) return EISDIR;
  if (!S_ISREG(st.st_mode)) return EINVAL;
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) return errno;
  return 0;
}

// Opens `path` for reading with stdio `mode` into `*file`, refusing anything
// that is not a regular file. Opening never blocks (a FIFO without a writer,
// a device). Returns 0 or the error number.
int OpenRegularFile(std::FILE** file, const char* path, const char* mode) {
  const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return errno;
  int err = PrepareRegularFile(fd);
  if (err == 0) {
    *file = ::fdopen(fd, mode);
    if (*file == nullptr) err = errno;
  }
  if (err != 0) ::close(fd);
  return err;
}

}  // namespace

int fopen_s(std::FILE** file, const char* path, const char* mode) {
  if (file == nullptr) return EINVAL;
  *file = nullptr;
  if (path == nullptr || mode == nullptr) return EINVAL;
  // The tool only ever reads files.
  if (std::strcmp(mode, "rb") != 0 && std::strcmp(mode, "r") != 0) return EINVAL;
  return OpenRegularFile(file, path, mode);
}

bool ExistsAsNonRegularFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
}

std::string RestrictLogFileAccess(const std::string& path) {
  // Not through a symbolic link: the mode of whatever it points at is not
  // the log's to change.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return errno == ELOOP ? std::string() : SystemProblem("open", errno);
  struct stat st;
  std::string problem;
  constexpr mode_t kLogMode = S_IRUSR | S_IWUSR | S_IRGRP;
  if (::fstat(fd, &st) != 0) {
    problem = SystemProblem("fstat", errno);
  } else if (S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && st.st_nlink == 1 &&
             (st.st_mode & 07777 & ~kLogMode) != 0 && ::fchmod(fd, st.st_mode & kLogMode) != 0) {
    problem = SystemProblem("fchmod", errno);
  }
  ::close(fd);
  return problem;
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

std::string FileNameProblem(const std::string&) { return std::string(); }

std::string ExecutableDir() {
  const std::string path = ExecutablePath();
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// ---------------------------------------------------------------------------
// Code pages.

namespace {

// The codeset of the environment's LC_CTYPE locale, read once. The global
// locale of the process is left alone. Empty when the locale is unusable.
const std::string& LocalCodeset() {
  static const std::string codeset = [] {
    const locale_t loc = ::newlocale(LC_CTYPE_MASK, "", nullptr);
    if (loc == nullptr) return std::string();
    std::string name = ::nl_langinfo_l(CODESET, loc);
    ::freelocale(loc);
    return name;
  }();
  return codeset;
}

// True when the local codeset is UTF-8 or plain ASCII (the C locale): bytes
// then pass unchanged.
bool LocalIsPassThrough() {
  const std::string& cs = LocalCodeset();
  return cs.empty() || cs == "UTF-8" || cs == "utf8" || cs == "ANSI_X3.4-1968";
}

// Converts `text` from codeset `from` to codeset `to` with iconv. Returns
// the converted bytes, or `text` unchanged when it cannot be converted.
std::string Convert(const std::string& text, const char* from, const char* to) {
  const iconv_t cd = ::iconv_open(to, from);
  if (reinterpret_cast<std::intptr_t>(cd) == -1) return text;

  std::string out(text.size() * 2 + 16, '\0');
  char* in_ptr = const_cast<char*>(text.data());
  std::size_t in_left = text.size();
  std::size_t done = 0;
  bool ok = true;
  // A final pass with a null input flushes the shift state.
  for (bool flush = false;;) {
    char* out_ptr = &out[done];
    std::size_t out_left = out.size() - done;
    const std::size_t rc = flush ? ::iconv(cd, nullptr, nullptr, &out_ptr, &out_left)
                                 : ::iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
    done = out.size() - out_left;
    if (rc != static_cast<std::size_t>(-1)) {
      if (flush) break;
      flush = true;
    } else if (errno == E2BIG) {
      out.resize(out.size() * 2);
    } else {
      ok = false;  // EILSEQ or EINVAL: an invalid or incomplete sequence.
      break;
    }
  }
  ::iconv_close(cd);
  if (!ok) return text;
  out.resize(done);
  return out;
}

}  // namespace

std::string LocalToUtf8(const std::string& text) {
  if (text.empty() || LocalIsPassThrough()) return text;
  return Convert(text, LocalCodeset().c_str(), "UTF-8");
}

std::string Utf8ToLocal(const std::string& text) {
  if (text.empty() || LocalIsPassThrough()) return text;
  return Convert(text, "UTF-8", LocalCodeset().c_str());
}

}  // namespace port
