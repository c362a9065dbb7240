// POSIX implementation of the platform services (Linux).
#include <dirent.h>
#include <execinfo.h>
#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <limits.h>
#include <locale.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "Port/Port.h"

namespace port {

const char kPathSeparator[] = "/";
const char kSharedLibrarySuffix[] = ".so";

std::string NativePath(const std::string& path) { return path; }

namespace {

// The path of the running executable, or empty when it cannot be read.
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

std::string TempDir() {
  const char* tmp = std::getenv("TMPDIR");
  return (tmp != nullptr && *tmp != '\0') ? tmp : "/tmp";
}

}  // namespace

// ---------------------------------------------------------------------------
// Single-instance guard.

bool IsInstanceRunning(const char* name) {
  // Lock files this process already holds: asking again must not see our
  // own lock as another instance.
  static std::vector<std::string> held;
  const std::string path = TempDir() + "/" + name + ".lock";
  if (std::find(held.begin(), held.end(), path) != held.end()) return false;

  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
    held.push_back(path);  // `fd` stays open: the lock lives with the process.
    return false;
  }
  const bool running = errno == EWOULDBLOCK;
  ::close(fd);
  return running;
}

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
  const int access = std::strchr(mode, '+') != nullptr ? O_RDWR : O_RDONLY;
  const int fd = ::open(path, access | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return errno;
  int err = PrepareRegularFile(fd);
  if (err == 0 && (*file = ::fdopen(fd, mode)) == nullptr) err = errno;
  if (err != 0) ::close(fd);
  return err;
}

}  // namespace

int fopen_s(std::FILE** file, const char* path, const char* mode) {
  if (file == nullptr) return EINVAL;
  *file = nullptr;
  if (path == nullptr || mode == nullptr) return EINVAL;
  if (mode[0] == 'r') return OpenRegularFile(file, path, mode);
  *file = std::fopen(path, mode);
  return *file != nullptr ? 0 : errno;
}

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

// ---------------------------------------------------------------------------
// Crash reports.
//
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
      fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
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

bool IsReportName(const char* name) {
  const std::size_t len = std::strlen(name);
  const std::size_t suffix = sizeof kReportSuffix - 1;
  return len > suffix && std::strcmp(name + len - suffix, kReportSuffix) == 0;
}

// Counts the report files of the report directory into `g_crash` and keeps
// the names of the oldest kMaxKnownReports of them, oldest first.
void ScanReports() {
  g_crash.report_count = 0;
  g_crash.known = 0;
  if (g_crash.dir[0] == '\0') return;
  DIR* dir = ::opendir(g_crash.dir);
  if (dir == nullptr) return;

  std::vector<std::pair<struct timespec, std::string>> found;
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
