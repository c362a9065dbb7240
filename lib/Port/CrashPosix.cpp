// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// POSIX crash reports (Linux): a handler for the fatal signals writes one
// report file, then the process dies of the signal as before.
#include <dirent.h>
#include <execinfo.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "Crash.h"
#include "Port.h"

namespace port {

// The signal handler may only call async-signal-safe functions: everything it
// needs (the directory, the program name, the existing reports oldest first)
// is prepared into static buffers by the setters, outside the handler.

namespace {

struct FatalSignal {
  int number;
  const char* name;
};
constexpr FatalSignal kFatalSignals[] = {
    {SIGSEGV, "SIGSEGV"}, {SIGBUS, "SIGBUS"},   {SIGILL, "SIGILL"},
    {SIGFPE, "SIGFPE"},   {SIGABRT, "SIGABRT"},
};
constexpr std::size_t kAltStackSize = std::size_t{256} * 1024;
constexpr int kMaxKnownReports = 256;
constexpr int kMaxFrames = 64;
constexpr char kReportSuffix[] = ".dmp";

struct CrashConfig {
  char dir[PATH_MAX];  // ends with "/"; empty: reports go to stderr
  char program[NAME_MAX + 1];
  bool full;
  int limit;         // <= 0: keep every report
  int report_count;  // reports found in `dir` at the last scan
  int known;         // oldest reports whose names are in `reports`
  char reports[kMaxKnownReports][NAME_MAX + 1];
};

CrashConfig g_crash;

// Text in a fixed buffer, built without allocating. Text beyond the capacity
// is dropped and marks the result truncated.
class FixedText {
 public:
  FixedText& Add(const char* s) {
    while (*s != '\0') Put(*s++);
    return *this;
  }
  FixedText& Decimal(unsigned long long value, int width = 1) {
    char digits[24];
    int n = 0;
    do {
      digits[n++] = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value != 0);
    for (int i = n; i < width; ++i) Put('0');
    while (n > 0) Put(digits[--n]);
    return *this;
  }
  FixedText& Hex(std::uintptr_t value) {
    Add("0x");
    for (int shift = static_cast<int>(sizeof value * 8) - 4; shift >= 0; shift -= 4) {
      Put("0123456789abcdef"[(value >> shift) & 0xf]);
    }
    return *this;
  }
  const char* c_str() const { return buf_; }
  std::size_t size() const { return len_; }
  bool truncated() const { return truncated_; }

 private:
  void Put(char c) {
    if (len_ + 1 < sizeof buf_) {
      buf_[len_++] = c;
      buf_[len_] = '\0';
    } else {
      truncated_ = true;
    }
  }
  char buf_[PATH_MAX + 256] = {};
  std::size_t len_ = 0;
  bool truncated_ = false;
};

// A UTC calendar time.
struct UtcTime {
  long long year;
  unsigned month, day, hour, minute, second;
};

// Splits `seconds` since the epoch into a UTC calendar time, without the
// C library (gmtime is not async-signal-safe).
UtcTime ToUtc(long long seconds) {
  long long days = seconds / 86400;
  long long rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  // Civil date from a day count (H. Hinnant's algorithm).
  days += 719468;
  const long long era = (days >= 0 ? days : days - 146096) / 146097;
  const long long doe = days - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  const unsigned day = static_cast<unsigned>(doy - (153 * mp + 2) / 5 + 1);
  const unsigned month = static_cast<unsigned>(mp < 10 ? mp + 3 : mp - 9);
  const long long year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  const auto clock = static_cast<unsigned>(rest);
  return {year, month, day, clock / 3600, clock / 60 % 60, clock % 60};
}

const char* SignalName(int sig) {
  for (const FatalSignal& fatal : kFatalSignals) {
    if (fatal.number == sig) return fatal.name;
  }
  return "unknown signal";
}

// Writes all of `size` bytes at `data` to `fd`, retrying after interruptions.
void WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

void WriteText(int fd, const FixedText& text) { WriteAll(fd, text.c_str(), text.size()); }

// Writes the report of signal `sig` to `fd`.
void WriteReport(int fd, int sig, const siginfo_t* info, const UtcTime& t) {
  FixedText text;
  text.Add(g_crash.program).Add(" crash report\n");
  text.Add("signal: ").Decimal(static_cast<unsigned>(sig)).Add(" ").Add(SignalName(sig));
  text.Add("\naddress: ").Hex(reinterpret_cast<std::uintptr_t>(info->si_addr));
  text.Add("\npid: ").Decimal(static_cast<unsigned long long>(::getpid()));
  text.Add("\ntime: ").Decimal(static_cast<unsigned long long>(t.year), 4).Add("-");
  text.Decimal(t.month, 2).Add("-").Decimal(t.day, 2).Add(" ").Decimal(t.hour, 2).Add(":");
  text.Decimal(t.minute, 2).Add(":").Decimal(t.second, 2).Add(" UTC\n");
  WriteText(fd, text);
  if (g_crash.full) {
    void* frames[kMaxFrames];
    const int n = ::backtrace(frames, kMaxFrames);
    const char header[] = "stack trace:\n";
    WriteAll(fd, header, sizeof header - 1);
    ::backtrace_symbols_fd(frames, n, fd);
  }
}

// Builds the path of a new report: "<dir><program>_<yyyymmddHHMMSS>_<pid>.dmp".
void ReportPath(const UtcTime& t, FixedText* path) {
  path->Add(g_crash.dir).Add(g_crash.program).Add("_");
  path->Decimal(static_cast<unsigned long long>(t.year), 4).Decimal(t.month, 2);
  path->Decimal(t.day, 2).Decimal(t.hour, 2).Decimal(t.minute, 2).Decimal(t.second, 2);
  path->Add("_").Decimal(static_cast<unsigned long long>(::getpid())).Add(kReportSuffix);
}

// Removes the oldest known reports until, with `added` new ones, at most the
// limit remain.
void PruneReports(int added) {
  if (g_crash.limit <= 0) return;
  int excess = g_crash.report_count + added - g_crash.limit;
  for (int i = 0; i < g_crash.known && excess > 0; ++i, --excess) {
    FixedText path;
    path.Add(g_crash.dir).Add(g_crash.reports[i]);
    if (!path.truncated()) ::unlink(path.c_str());
  }
}

void RestoreDefaultActions() {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  for (const FatalSignal& fatal : kFatalSignals) ::sigaction(fatal.number, &action, nullptr);
}

// Delivers `sig` again, now with its default action, so that the process
// ends with it.
void Redeliver(int sig) {
  ::raise(sig);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, sig);
  ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
  // A fault that survives returns and faults again, by default this time.
}

void OnFatalSignal(int sig, siginfo_t* info, void*) {
  // A fault inside this handler, or in another thread meanwhile, ends the
  // process at once.
  RestoreDefaultActions();
  const int saved_errno = errno;
  struct timespec now = {0, 0};
  ::clock_gettime(CLOCK_REALTIME, &now);
  const UtcTime t = ToUtc(static_cast<long long>(now.tv_sec));

  int fd = -1;
  if (g_crash.dir[0] != '\0') {
    FixedText path;
    ReportPath(t, &path);
    if (!path.truncated()) {
      fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    }
  }
  if (fd >= 0) {
    WriteReport(fd, sig, info, t);
    ::close(fd);
    PruneReports(1);
  } else {
    WriteReport(STDERR_FILENO, sig, info, t);
  }
  errno = saved_errno;
  Redeliver(sig);
}

// Fills `g_crash.program` from the executable's name, once.
void InitProgramName() {
  if (g_crash.program[0] != '\0') return;
  std::string name = ExecutablePath();
  name = name.substr(name.rfind('/') + 1);
  if (name.empty() || name.size() > NAME_MAX) name = "crash";
  std::memcpy(g_crash.program, name.c_str(), name.size() + 1);
}

// Skips `count` decimal digits at `*p` (at least one when `count` is 0, any
// number then). False when they are not there.
bool SkipDigits(const char** p, std::size_t count) {
  const char* start = *p;
  while (**p >= '0' && **p <= '9' && (count == 0 || static_cast<std::size_t>(*p - start) < count)) {
    ++*p;
  }
  const auto skipped = static_cast<std::size_t>(*p - start);
  return count == 0 ? skipped > 0 : skipped == count;
}

// True when `name` is one of our own reports, exactly as ReportPath names
// them: "<program>_<yyyymmddHHMMSS>_<pid>.dmp". Other files ending in ".dmp"
// belong to someone else and are never counted or removed.
bool IsReportName(const char* name) {
  const std::size_t program = std::strlen(g_crash.program);
  if (std::strncmp(name, g_crash.program, program) != 0 || name[program] != '_') return false;
  const char* p = name + program + 1;
  if (!SkipDigits(&p, 14) || *p != '_') return false;
  ++p;
  if (!SkipDigits(&p, 0)) return false;
  return std::strcmp(p, kReportSuffix) == 0;
}

// Counts the report files of the report directory into `g_crash` and keeps
// the names of the oldest kMaxKnownReports of them, oldest first.
void ScanReports() {
  InitProgramName();
  g_crash.report_count = 0;
  g_crash.known = 0;
  if (g_crash.dir[0] == '\0') return;
  DIR* dir = ::opendir(g_crash.dir);
  if (dir == nullptr) return;

  std::vector<std::pair<struct timespec, std::string>> found;
  // cppcheck-suppress readdirCalled ; one thread reads this stream, readdir_r is deprecated
  while (const struct dirent* entry = ::readdir(dir)) {
    struct stat st;
    if (!IsReportName(entry->d_name)) continue;
    if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (S_ISREG(st.st_mode)) found.emplace_back(st.st_mtim, entry->d_name);
  }
  ::closedir(dir);

  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
    if (a.first.tv_sec != b.first.tv_sec) return a.first.tv_sec < b.first.tv_sec;
    if (a.first.tv_nsec != b.first.tv_nsec) return a.first.tv_nsec < b.first.tv_nsec;
    return a.second < b.second;
  });
  g_crash.report_count = static_cast<int>(found.size());
  for (const auto& report : found) {
    if (g_crash.known == kMaxKnownReports) break;
    std::memcpy(g_crash.reports[g_crash.known++], report.second.c_str(), report.second.size() + 1);
  }
}

}  // namespace

void InstallCrashHandler() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  InitProgramName();

  // Loads the unwinder now: it cannot be loaded safely inside the handler.
  void* frame[1];
  ::backtrace(frame, 1);

  // The handler runs on a stack of its own, so that a stack overflow is
  // reported too; it lives as long as the process.
  alignas(16) static char alt_stack[kAltStackSize];
  stack_t alt;
  std::memset(&alt, 0, sizeof alt);
  alt.ss_size = sizeof alt_stack;
  alt.ss_sp = alt_stack;
  ::sigaltstack(&alt, nullptr);

  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_sigaction = OnFatalSignal;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  for (const FatalSignal& fatal : kFatalSignals) ::sigaction(fatal.number, &action, nullptr);
}

void SetCrashReportDir(const std::string& dir) {
  InitProgramName();
  std::string local = Utf8ToLocal(dir);
  if (!local.empty() && local.back() != '/') local += '/';
  if (local.size() >= sizeof g_crash.dir || local.find('\0') != std::string::npos) {
    local.clear();
  }
  std::memcpy(g_crash.dir, local.c_str(), local.size() + 1);
  ScanReports();
}

void SetCrashReportLimit(int limit) {
  g_crash.limit = limit;
  ScanReports();
}

void SetCrashReportFull(bool full) { g_crash.full = full; }

}  // namespace port
