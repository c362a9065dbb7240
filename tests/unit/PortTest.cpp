// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// Tests of the POSIX platform services.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <langinfo.h>
#include <locale.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Crash.h"
#include "Port.h"
#include "support/TempDir.h"

namespace plinth_test {
namespace {

using namespace std::string_literals;

// Sets an environment variable for the lifetime of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    const char* old = std::getenv(name);
    had_old_ = old != nullptr;
    if (had_old_) old_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (had_old_) {
      ::setenv(name_, old_.c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  bool had_old_;
  std::string old_;
};

// Runs `body` in a forked child, which ends with exit code 0 if `body`
// returns. Returns the child's pid and stores its wait status in `*status`.
pid_t RunChild(const std::function<void()>& body, int* status) {
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    body();
    ::_exit(0);
  }
  ::waitpid(pid, status, 0);
  return pid;
}

// ---------------------------------------------------------------------------
// Single-instance guard.

constexpr char kInstance[] = "plinth-port-test";

using port::InstanceGuard;

// Takes the guard kInstance; fills `*problem` when given.
InstanceGuard Take(std::string* problem = nullptr) {
  std::string where, why;
  const InstanceGuard answer = port::TakeInstanceGuard(kInstance, &where, &why);
  if (problem != nullptr) *problem = why;
  return answer;
}

TEST(PortInstanceTest, AnotherLiveProcessHoldsTheInstance) {
  ScopedTempDir tmp;
  ScopedEnv tmpdir("TMPDIR", tmp.path().string());
  int ready[2];
  int release[2];
  ASSERT_EQ(0, ::pipe(ready));
  ASSERT_EQ(0, ::pipe(release));
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    const char first = Take() == InstanceGuard::kTaken ? 'y' : 'n';
    ::close(release[1]);
    char byte;
    // Holds the instance until the parent closes its end of `release`.
    if (::write(ready[1], &first, 1) == 1 && ::read(release[0], &byte, 1) >= 0) ::_exit(0);
    ::_exit(1);
  }
  ::close(ready[1]);
  ::close(release[0]);
  char first = 0;
  ASSERT_EQ(1, ::read(ready[0], &first, 1));
  EXPECT_EQ('y', first) << "the child was the first instance";
  std::string where, problem;
  EXPECT_EQ(InstanceGuard::kRunning, port::TakeInstanceGuard(kInstance, &where, &problem));
  EXPECT_EQ("lock file " + tmp.Sub(kInstance + ".lock"s), where);
  EXPECT_EQ("", problem);
  ::close(release[1]);
  ::close(ready[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// A file descriptor, closed when it goes out of scope.
class ScopedFd {
 public:
  explicit ScopedFd(int fd) : fd_(fd) {}
  ~ScopedFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  ScopedFd(const ScopedFd&) = delete;
  ScopedFd& operator=(const ScopedFd&) = delete;
  int get() const { return fd_; }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

TEST(PortInstanceTest, LockLeftByADeadProcessDoesNotCount) {
  ScopedTempDir tmp;
  ScopedEnv tmpdir("TMPDIR", tmp.path().string());
  int status = 0;
  RunChild(
      [] {
        Take();
        ::raise(SIGKILL);
      },
      &status);
  ASSERT_TRUE(WIFSIGNALED(status));
  const std::string lock = tmp.Sub(kInstance + ".lock"s);
  ASSERT_TRUE(std::filesystem::exists(lock));

  EXPECT_EQ(InstanceGuard::kTaken, Take());
  EXPECT_EQ(InstanceGuard::kTaken, Take()) << "this process is no other instance";
  // The lock is held: a fresh descriptor cannot take it.
  const ScopedFd fd(::open(lock.c_str(), O_RDWR | O_CLOEXEC));
  ASSERT_GE(fd.get(), 0);
  EXPECT_EQ(-1, ::flock(fd.get(), LOCK_EX | LOCK_NB));
  EXPECT_EQ(EWOULDBLOCK, errno);
}

// Sets the umask for the lifetime of the object.
class ScopedUmask {
 public:
  explicit ScopedUmask(mode_t mask) : old_(::umask(mask)) {}
  ~ScopedUmask() { ::umask(old_); }
  ScopedUmask(const ScopedUmask&) = delete;
  ScopedUmask& operator=(const ScopedUmask&) = delete;

 private:
  mode_t old_;
};

TEST(PortInstanceTest, TheLockFileHasMode0600WhateverTheUmask) {
  struct Case {
    const char* what;
    mode_t umask;
    int existing_mode;  // -1: no file yet
  } const cases[] = {
      {"new, umask 0", 0, -1},
      {"new, umask 0277", 0277, -1},
      {"an older file of ours with mode 0644", 022, 0644},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedTempDir tmp;
    ScopedEnv tmpdir("TMPDIR", tmp.path().string());
    ScopedUmask mask(c.umask);
    const std::string lock = tmp.Sub(kInstance + ".lock"s);
    if (c.existing_mode >= 0) {
      WriteFile(lock, "");
      ASSERT_EQ(0, ::chmod(lock.c_str(), static_cast<mode_t>(c.existing_mode)));
    }
    EXPECT_EQ(InstanceGuard::kTaken, Take());
    struct stat st;
    ASSERT_EQ(0, ::lstat(lock.c_str(), &st));
    EXPECT_EQ(0600u, st.st_mode & 07777);
  }
}

// A lock file of ours that others could open, left by an older Plinth, may be
// held open by another user, who then holds the lock against us for as long
// as they like: it is replaced, and the lock taken on the new file.
TEST(PortInstanceTest, AWiderLockFileOfOursIsReplacedEvenWhileLocked) {
  ScopedTempDir tmp;
  ScopedEnv tmpdir("TMPDIR", tmp.path().string());
  const std::string lock = tmp.Sub(kInstance + ".lock"s);
  WriteFile(lock, "");
  ASSERT_EQ(0, ::chmod(lock.c_str(), 0644));
  ScopedFd other(::open(lock.c_str(), O_RDONLY | O_CLOEXEC));
  ASSERT_GE(other.get(), 0);
  ASSERT_EQ(0, ::flock(other.get(), LOCK_EX | LOCK_NB));
  struct stat old_file, new_file;
  ASSERT_EQ(0, ::fstat(other.get(), &old_file));

  EXPECT_EQ(InstanceGuard::kTaken, Take());
  ASSERT_EQ(0, ::lstat(lock.c_str(), &new_file));
  EXPECT_NE(old_file.st_ino, new_file.st_ino);
  EXPECT_EQ(0600u, new_file.st_mode & 07777);
  other.Close();
  // The new file is the one locked.
  const ScopedFd again(::open(lock.c_str(), O_RDONLY | O_CLOEXEC));
  ASSERT_GE(again.get(), 0);
  EXPECT_NE(0, ::flock(again.get(), LOCK_EX | LOCK_NB));
}

TEST(PortInstanceTest, WhatCannotBeTrustedOrOpenedAtTheLocksPlace) {
  ScopedTempDir tmp;
  const std::string lock_name = kInstance + ".lock"s;
  const std::string nobody =
      "it is owned by user 65534, not by this user (" + std::to_string(::geteuid()) + ")";
  struct Case {
    const char* what;
    std::function<void(const std::string& dir)> place;  // puts something into `dir`
    InstanceGuard answer;
    std::string problem;
  } const cases[] = {
      {"dangling link",
       [&](const std::string& dir) {
         std::filesystem::create_symlink(dir + "/target", dir + "/" + lock_name);
       },
       InstanceGuard::kUntrusted, "it is a symbolic link"},
      {"link to a file of ours",
       [&](const std::string& dir) {
         WriteFile(dir + "/target", "");
         std::filesystem::create_symlink(dir + "/target", dir + "/" + lock_name);
       },
       InstanceGuard::kUntrusted, "it is a symbolic link"},
      {"directory",
       [&](const std::string& dir) { std::filesystem::create_directory(dir + "/" + lock_name); },
       InstanceGuard::kUntrusted, "it is a directory"},
      {"fifo", [&](const std::string& dir) { ::mkfifo((dir + "/" + lock_name).c_str(), 0600); },
       InstanceGuard::kUntrusted, "it is not a regular file"},
      {"another user's file",
       [&](const std::string& dir) {
         WriteFile(dir + "/" + lock_name, "");
         ::chown((dir + "/" + lock_name).c_str(), 65534, 65534);
       },
       InstanceGuard::kUntrusted, nobody},
      {"a second name of another file",
       [&](const std::string& dir) {
         WriteFile(dir + "/target", "");
         ::chmod((dir + "/target").c_str(), 0644);
         std::filesystem::create_hard_link(dir + "/target", dir + "/" + lock_name);
       },
       InstanceGuard::kUntrusted, "it has 2 names (hard links)"},
      {"temporary directory missing", [](const std::string& dir) { std::filesystem::remove(dir); },
       InstanceGuard::kNotTaken, "open: No such file or directory"},
      {"temporary directory is a file",
       [](const std::string& dir) {
         std::filesystem::remove(dir);
         WriteFile(dir, "");
       },
       InstanceGuard::kNotTaken, "open: Not a directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string dir = tmp.Sub(c.what);
    std::filesystem::create_directory(dir);
    c.place(dir);
    if (c.problem == nobody && ::geteuid() != 0) continue;  // only root can give files away
    ScopedEnv tmpdir("TMPDIR", dir);
    std::string problem;
    EXPECT_EQ(c.answer, Take(&problem));
    EXPECT_EQ(c.problem, problem);
  }
  // Nothing was created through the dangling link, and the hard-linked file
  // kept its mode.
  EXPECT_FALSE(std::filesystem::exists(tmp.Sub("dangling link/target")));
  struct stat st;
  ASSERT_EQ(0, ::stat(tmp.Sub("a second name of another file/target").c_str(), &st));
  EXPECT_EQ(0644u, st.st_mode & 07777);
}

// ---------------------------------------------------------------------------
// Files.

TEST(PortFileTest, RestrictLogFileAccessTakesAwayEveryBitBeyond0640) {
  ScopedTempDir tmp;
  const struct {
    const char* name;
    mode_t before;
    mode_t after;
  } cases[] = {{"a", 0644, 0640}, {"b", 0666, 0640}, {"c", 0777, 0640}, {"d", 0604, 0600},
               {"e", 0640, 0640}, {"f", 0600, 0600}, {"g", 0400, 0400}};
  for (const auto& c : cases) {
    const std::string path = tmp.Sub(c.name);
    WriteFile(path, "");
    ASSERT_EQ(0, ::chmod(path.c_str(), c.before));
    EXPECT_EQ("", port::RestrictLogFileAccess(path)) << c.name;
    struct stat st;
    ASSERT_EQ(0, ::stat(path.c_str(), &st));
    EXPECT_EQ(c.after, st.st_mode & 07777) << c.name;
  }
  // What a link points at, and a file with another name, keep their mode.
  WriteFile(tmp.Sub("target"), "");
  ASSERT_EQ(0, ::chmod(tmp.Sub("target").c_str(), 0644));
  std::filesystem::create_symlink(tmp.Sub("target"), tmp.Sub("link"));
  std::filesystem::create_hard_link(tmp.Sub("target"), tmp.Sub("second"));
  EXPECT_EQ("", port::RestrictLogFileAccess(tmp.Sub("link")));
  EXPECT_EQ("", port::RestrictLogFileAccess(tmp.Sub("second")));
  struct stat st;
  ASSERT_EQ(0, ::stat(tmp.Sub("target").c_str(), &st));
  EXPECT_EQ(0644u, st.st_mode & 07777);
}

TEST(PortFileTest, ExistsAsNonRegularFileAndSameFile) {
  ScopedTempDir tmp;
  WriteFile(tmp.Sub("file"), "");
  ASSERT_EQ(0, ::mkfifo(tmp.Sub("fifo").c_str(), 0600));
  std::filesystem::create_symlink(tmp.Sub("fifo"), tmp.Sub("link-to-fifo"));
  std::filesystem::create_hard_link(tmp.Sub("file"), tmp.Sub("second"));
  EXPECT_FALSE(port::ExistsAsNonRegularFile(tmp.Sub("file")));
  EXPECT_FALSE(port::ExistsAsNonRegularFile(tmp.Sub("missing")));
  EXPECT_TRUE(port::ExistsAsNonRegularFile(tmp.Sub("fifo")));
  EXPECT_TRUE(port::ExistsAsNonRegularFile(tmp.Sub("link-to-fifo")));
  EXPECT_TRUE(port::ExistsAsNonRegularFile(tmp.path().string()));

  EXPECT_TRUE(port::SameFile(tmp.Sub("file"), tmp.Sub("second")));
  EXPECT_TRUE(port::SameFile(tmp.Sub("fifo"), tmp.Sub("link-to-fifo")));
  EXPECT_FALSE(port::SameFile(tmp.Sub("file"), tmp.Sub("fifo")));
  EXPECT_FALSE(port::SameFile(tmp.Sub("missing"), tmp.Sub("missing")));
  EXPECT_EQ("", port::FileNameProblem("public.db. :x"));
}

TEST(PortFopenTest, ReadsARegularFile) {
  ScopedTempDir tmp;
  const std::string path = tmp.Sub("data.bin");
  WriteFile(path, "abc\0def"s);
  std::FILE* file = nullptr;
  ASSERT_EQ(0, port::fopen_s(&file, path.c_str(), "rb"));
  EXPECT_EQ(0, ::fcntl(::fileno(file), F_GETFL) & O_NONBLOCK) << "reads must block again";
  char buf[16];
  const std::size_t n = std::fread(buf, 1, sizeof buf, file);
  std::fclose(file);
  EXPECT_EQ("abc\0def"s, std::string(buf, n));
}

TEST(PortFopenTest, RefusesWhatIsNotARegularFileAndEveryOtherMode) {
  ScopedTempDir tmp;
  const std::string fifo = tmp.Sub("fifo");
  ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0600));
  struct Case {
    std::string path;
    const char* mode;
    int error;
  } const cases[] = {
      {tmp.Sub("missing"), "rb", ENOENT},
      {tmp.path().string(), "rb", EISDIR},
      {fifo, "rb", EINVAL},  // no writer: a blocking open would hang
      {"/dev/null", "rb", EINVAL},
      // Files are only read.
      {tmp.Sub("new"), "wb", EINVAL},
      {tmp.Sub("new"), "r+b", EINVAL},
  };
  for (const Case& c : cases) {
    std::FILE* file = stdin;
    EXPECT_EQ(c.error, port::fopen_s(&file, c.path.c_str(), c.mode)) << c.path << " " << c.mode;
    EXPECT_EQ(nullptr, file) << c.path << " " << c.mode;
    if (file != nullptr && file != stdin) std::fclose(file);
  }
}

TEST(PortExecutableDirTest, NamesTheDirectoryOfTheRunningBinary) {
  const std::string dir = port::ExecutableDir();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ('/', dir.back());
  struct stat self, named;
  ASSERT_EQ(0, ::stat("/proc/self/exe", &self));
  ASSERT_EQ(0, ::stat((dir + program_invocation_short_name).c_str(), &named)) << dir;
  EXPECT_EQ(self.st_dev, named.st_dev);
  EXPECT_EQ(self.st_ino, named.st_ino);
}

// ---------------------------------------------------------------------------
// Code pages. The local codeset is read once per process, so each conversion
// runs in a fresh process (a death test re-running this binary) with LC_ALL
// set for it.

class PortCodePageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    style_ = GTEST_FLAG_GET(death_test_style);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
  }
  void TearDown() override { GTEST_FLAG_SET(death_test_style, style_); }

  struct Case {
    bool to_utf8;
    std::string input;
    std::string expected;
  };

  static std::string Hex(const std::string& bytes) {
    std::string hex;
    for (const unsigned char c : bytes) {
      hex += "0123456789abcdef"[c >> 4];
      hex += "0123456789abcdef"[c & 0xf];
    }
    return hex;
  }

  static void ExpectConversions(const char* locale, const std::vector<Case>& cases) {
    ScopedEnv lc_all("LC_ALL", locale);
    for (const Case& c : cases) {
      EXPECT_EXIT(
          {
            const std::string out =
                c.to_utf8 ? port::LocalToUtf8(c.input) : port::Utf8ToLocal(c.input);
            std::fprintf(stderr, "result=<%s>\n", Hex(out).c_str());
            std::exit(0);  // runs the test main's clean-up
          },
          ::testing::ExitedWithCode(0), "result=<" + Hex(c.expected) + ">")
          << locale << (c.to_utf8 ? " to UTF-8: " : " from UTF-8: ") << Hex(c.input);
    }
  }

  // A locale of the machine with the codeset ISO-8859-1, or null.
  static const char* FindLatin1Locale() {
    for (const char* name : {"en_US.ISO-8859-1", "en_US.iso88591", "de_DE.ISO-8859-1",
                             "fr_FR.ISO-8859-1", "en_GB.ISO-8859-1"}) {
      const locale_t loc = ::newlocale(LC_CTYPE_MASK, name, nullptr);
      if (loc == nullptr) continue;
      const bool latin1 = std::string(::nl_langinfo_l(CODESET, loc)) == "ISO-8859-1";
      ::freelocale(loc);
      if (latin1) return name;
    }
    return nullptr;
  }

 private:
  std::string style_;
};

TEST_F(PortCodePageTest, Utf8AndCLocalesPassBytesUnchanged) {
  const std::string bytes = "caf\xc3\xa9\0\xff\xfe"s;
  for (const char* locale : {"C.UTF-8", "C", "POSIX"}) {
    ExpectConversions(locale, {{true, bytes, bytes}, {false, bytes, bytes}});
  }
}

TEST_F(PortCodePageTest, Latin1LocaleConvertsOrLeavesTextUnchanged) {
  // A machine without an ISO-8859-1 locale gets one of its own, compiled from
  // the locale sources (Debian's locales package) into a private LOCPATH. The
  // converting children run this body again up to the conversion, with
  // LOCPATH set: they find the locale and make nothing.
  std::unique_ptr<plinth_test::ScopedTempDir> locales;
  std::unique_ptr<ScopedEnv> locpath;
  std::unique_ptr<ScopedEnv> lsan_options;
  const char* locale = FindLatin1Locale();
  if (locale == nullptr) {
    locales = std::make_unique<plinth_test::ScopedTempDir>();
    const std::string command = "localedef -c -i en_US -f ISO-8859-1 '" +
                                locales->Sub("en_US.ISO-8859-1") + "' >/dev/null 2>&1";
    static_cast<void>(std::system(command.c_str()));
    // Only the children look the locale up: what glibc loads from LOCPATH
    // stays allocated, which LeakSanitizer would report here.
    if (std::filesystem::is_directory(locales->Sub("en_US.ISO-8859-1"))) {
      locale = "en_US.ISO-8859-1";
    }
    locpath = std::make_unique<ScopedEnv>("LOCPATH", locales->path().string());
    const std::string suppressions = locales->Sub("lsan.supp");
    // A pattern matches anywhere in a frame's name: "argz_add_sep" is glibc's
    // frame both as "__argz_add_sep" (with libc6-dbg) and as "argz_add_sep".
    plinth_test::WriteFile(suppressions, "leak:newlocale\nleak:argz_add_sep\n");
    const char* lsan = std::getenv("LSAN_OPTIONS");
    lsan_options = std::make_unique<ScopedEnv>(
        "LSAN_OPTIONS", std::string(lsan != nullptr ? lsan : "") + ":suppressions=" + suppressions);
  }
  if (locale == nullptr) GTEST_SKIP() << "no ISO-8859-1 locale, and localedef cannot make one";
  ExpectConversions(locale, {
                                {true, "caf\xe9\0!"s, "caf\xc3\xa9\0!"s},
                                {false, "caf\xc3\xa9\0!"s, "caf\xe9\0!"s},
                                {false, "\xe2\x82\xac", "\xe2\x82\xac"},  // no euro sign
                                {false, "a\xff", "a\xff"},                // not UTF-8
                                {false, "a\xc3", "a\xc3"},                // cut sequence
                            });
}

// ---------------------------------------------------------------------------
// The process.

TEST(PortProcessTest, AfterDisableCoreDumpsTheProcessIsNotDumpable) {
  int status = 0;
  RunChild(
      [] {
        if (::prctl(PR_GET_DUMPABLE) != 1) ::_exit(2);
        port::DisableCoreDumps();
        ::_exit(::prctl(PR_GET_DUMPABLE) == 0 ? 0 : 1);
      },
      &status);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(0, WEXITSTATUS(status)) << "2: dumpable was off before, 1: still on after";
}

// ---------------------------------------------------------------------------
// Crash reports. Every crash happens in a forked child.

void* g_protected_page = nullptr;

void WriteToProtectedPage() { *static_cast<volatile int*>(g_protected_page) = 1; }

int Recurse(int depth) {
  volatile char frame[512];
  frame[0] = static_cast<char>(depth);
  return depth == -1 ? 0 : Recurse(depth + 1) + frame[0];
}

void OverflowStack() { Recurse(0); }

class PortCrashTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // cppcheck-suppress invalidFunctionArg ; an anonymous mapping takes the descriptor -1
    g_protected_page = ::mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(MAP_FAILED, g_protected_page);
  }

  // Crashes a child with `crash` after making it undumpable, as the tool is,
  // installing the handler and setting the report directory `dir` and the
  // limit. Returns the child's pid.
  static pid_t Crash(const std::string& dir, int limit, bool full, void (*crash)(), int* status) {
    return RunChild(
        [&] {
          port::DisableCoreDumps();
          port::InstallCrashHandler();
          port::SetCrashReportFull(full);
          port::SetCrashReportLimit(limit);
          port::SetCrashReportDir(dir);
          crash();
        },
        status);
  }

  static std::set<std::string> Reports(const std::filesystem::path& dir) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      if (entry.path().extension() == ".dmp") names.insert(entry.path().filename().string());
    }
    return names;
  }

  // The UTC time stamp of a report named "<program>_<yyyymmddHHMMSS>_<pid>.dmp",
  // or empty when `name` is not such a report of process `pid`.
  static std::string StampOf(const std::string& name, pid_t pid) {
    const std::string prefix = program_invocation_short_name + "_"s;
    const std::string suffix = "_" + std::to_string(pid) + ".dmp";
    if (name.size() != prefix.size() + 14 + suffix.size()) return std::string();
    if (name.compare(0, prefix.size(), prefix) != 0) return std::string();
    if (name.compare(prefix.size() + 14, suffix.size(), suffix) != 0) return std::string();
    std::string stamp = name.substr(prefix.size(), 14);
    if (stamp.find_first_not_of("0123456789") != std::string::npos) return std::string();
    return stamp;
  }

  static std::string UtcStamp(time_t t) {
    struct tm tm;
    ::gmtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y%m%d%H%M%S", &tm);
    return buf;
  }

  ScopedTempDir dir_;
};

TEST_F(PortCrashTest, EachFatalSignalWritesOneReportAndKillsTheProcess) {
  struct Case {
    const char* what;
    int signal;
    const char* name;
    void (*crash)();
  } const cases[] = {
      {"write", SIGSEGV, "SIGSEGV", WriteToProtectedPage},
      {"overflow", SIGSEGV, "SIGSEGV", OverflowStack},
      {"abort", SIGABRT, "SIGABRT", [] { std::abort(); }},
      {"bus", SIGBUS, "SIGBUS", [] { ::raise(SIGBUS); }},
      {"ill", SIGILL, "SIGILL", [] { ::raise(SIGILL); }},
      {"fpe", SIGFPE, "SIGFPE", [] { ::raise(SIGFPE); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string dir = dir_.Sub(c.what);
    std::filesystem::create_directory(dir);
    int status = 0;
    const pid_t pid = Crash(dir, 0, true, c.crash, &status);
    ASSERT_TRUE(WIFSIGNALED(status)) << "status " << status;
    EXPECT_EQ(c.signal, WTERMSIG(status));
    const auto reports = Reports(dir);
    ASSERT_EQ(1u, reports.size());
    const std::string report = ReadWholeFile(dir + "/" + *reports.begin());
    EXPECT_NE(std::string::npos,
              report.find("signal: " + std::to_string(c.signal) + " " + c.name + "\n"))
        << report;
    EXPECT_NE(std::string::npos, report.find("pid: " + std::to_string(pid) + "\n")) << report;
  }
}

TEST_F(PortCrashTest, ReportNamesTimeProcessAddressAndStack) {
  const std::string before = UtcStamp(::time(nullptr));
  int status = 0;
  const pid_t pid = Crash(dir_.path().string(), 0, true, WriteToProtectedPage, &status);
  const std::string after = UtcStamp(::time(nullptr));
  ASSERT_TRUE(WIFSIGNALED(status));

  const auto reports = Reports(dir_.path());
  ASSERT_EQ(1u, reports.size());
  const std::string name = *reports.begin();
  const std::string stamp = StampOf(name, pid);
  ASSERT_FALSE(stamp.empty()) << name;
  EXPECT_LE(before, stamp);
  EXPECT_GE(after, stamp);

  const std::string report = ReadWholeFile(dir_.Sub(name));
  const std::string time = stamp.substr(0, 4) + "-" + stamp.substr(4, 2) + "-" +
                           stamp.substr(6, 2) + " " + stamp.substr(8, 2) + ":" +
                           stamp.substr(10, 2) + ":" + stamp.substr(12, 2) + " UTC\n";
  EXPECT_NE(std::string::npos, report.find("time: " + time)) << report;
  char address[64];
  std::snprintf(address, sizeof address, "address: 0x%016" PRIxPTR "\n",
                reinterpret_cast<std::uintptr_t>(g_protected_page));
  EXPECT_NE(std::string::npos, report.find(address)) << report;
  const std::size_t stack = report.find("stack trace:\n");
  ASSERT_NE(std::string::npos, stack) << report;
  EXPECT_NE(std::string::npos, report.find(program_invocation_short_name, stack)) << report;
}

TEST_F(PortCrashTest, KeepsAtMostTheLimitOfItsOwnReportsRemovingTheOldestFirst) {
  // Our reports, oldest first: b, c, a. The other files are older still, but
  // they are no reports of ours, whatever their names end with.
  const std::string program = program_invocation_short_name;
  const std::string a = program + "_20240103000000_3.dmp";
  const std::string b = program + "_20240101000000_1.dmp";
  const std::string c = program + "_20240102000000_22.dmp";
  const std::set<std::string> others = {
      "OtherTool_20240101_1.dmp",
      "customer-memory.dmp",
      program + "_2024010100000_1.dmp",    // 13 digits
      program + "_20240101000000_.dmp",    // no process number
      program + "_20240101000000_1x.dmp",  // not a number
      program + "x_20240101000000_1.dmp",  // another program
      "x" + program + "_20240101000000_1.dmp",
      program + "_20240101000000_1.DMP",
      program + "_20240101000000_1.dmp.old",
      "notes.txt",
  };
  struct Old {
    std::string name;
    time_t mtime;
  };
  std::vector<Old> old_files = {{a, 3000}, {b, 1000}, {c, 2000}};
  for (const std::string& other : others) old_files.push_back({other, 10});
  struct Case {
    int limit;
    std::set<std::string> kept;  // of ours, besides the new report
  } const cases[] = {
      {2, {a}},
      {1, {}},
      {0, {a, b, c}},
      {5, {a, b, c}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE("limit " + std::to_string(k.limit));
    const std::string dir = dir_.Sub("limit" + std::to_string(k.limit));
    for (const Old& old : old_files) {
      const std::string path = dir + "/" + old.name;
      WriteFile(path, "old");
      const struct timespec times[2] = {{old.mtime, 0}, {old.mtime, 0}};
      ASSERT_EQ(0, ::utimensat(AT_FDCWD, path.c_str(), times, 0));
    }
    int status = 0;
    const auto abort_now = [] { std::abort(); };
    const pid_t pid = Crash(dir, k.limit, false, abort_now, &status);
    ASSERT_TRUE(WIFSIGNALED(status));

    std::set<std::string> kept;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      kept.insert(entry.path().filename().string());
    }
    std::string fresh;
    for (const std::string& name : kept) {
      if (!StampOf(name, pid).empty()) fresh = name;
    }
    ASSERT_FALSE(fresh.empty()) << "no new report";
    EXPECT_EQ(std::string::npos,
              ReadWholeFile((std::filesystem::path(dir) / fresh).string()).find("stack trace"));
    kept.erase(fresh);
    std::set<std::string> expected = k.kept;
    expected.insert(others.begin(), others.end());
    EXPECT_EQ(expected, kept);
  }
}

TEST_F(PortCrashTest, WithoutADirectoryTheReportGoesToStderr) {
  const std::string err = dir_.Sub("stderr.txt");
  int status = 0;
  const pid_t pid = RunChild(
      [&] {
        const int fd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fd, STDERR_FILENO);
        port::InstallCrashHandler();
        std::abort();
      },
      &status);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(SIGABRT, WTERMSIG(status));
  const std::string report = ReadWholeFile(err);
  EXPECT_NE(std::string::npos, report.find("signal: 6 SIGABRT\n")) << report;
  EXPECT_NE(std::string::npos, report.find("pid: " + std::to_string(pid) + "\n")) << report;
  EXPECT_TRUE(Reports(dir_.path()).empty());
}

}  // namespace
}  // namespace plinth_test
