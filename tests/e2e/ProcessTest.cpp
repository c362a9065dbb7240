// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// The process under hostile conditions, through the real binary: an
// executable directory that cannot be told, a standard error nobody reads,
// memory running out, and text that would forge log lines.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>

#include "e2e/Harness.h"
#include "e2e/TestUtil.h"

namespace plinth_e2e {
namespace {

using namespace std::string_literals;

const std::string kProperties = "/META_INFO/plinth.log4cxx.properties";

// Writes `content` into the new file `name` below the directory `dir`.
void WriteAt(int dir, const std::string& name, const std::string& content, mode_t mode = 0644) {
  const int fd = ::openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) throw std::runtime_error("cannot create " + name);
  const bool written =
      ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
  ::close(fd);
  if (!written) throw std::runtime_error("cannot write " + name);
}

// Removes `name` below the directory `dir` with everything in it, however
// deep (paths longer than PATH_MAX are never formed).
void RemoveAt(int dir, const std::string& name) {
  if (::unlinkat(dir, name.c_str(), 0) == 0 || errno != EISDIR) return;
  const int fd = ::openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return;
  DIR* listing = ::fdopendir(fd);
  std::vector<std::string> entries;
  // cppcheck-suppress readdirCalled ; one thread reads this stream, readdir_r is deprecated
  while (const dirent* entry = ::readdir(listing)) {
    const std::string entry_name = entry->d_name;
    if (entry_name != "." && entry_name != "..") entries.push_back(entry_name);
  }
  for (const std::string& entry : entries) RemoveAt(::dirfd(listing), entry);
  ::closedir(listing);
  ::unlinkat(dir, name.c_str(), AT_REMOVEDIR);
}

// A directory below the tree's root whose path is longer than the kernel will
// name for /proc/self/exe, made and kept open by descriptor.
class DeepDirectory {
 public:
  explicit DeepDirectory(const ProductTree& tree) : root_(Open(AT_FDCWD, tree.root())) {
    const std::string step(200, 'd');
    fd_ = ::dup(root_);
    for (int depth = 0; depth < 25; ++depth) {
      ::mkdirat(fd_, step.c_str(), 0755);
      const int next = Open(fd_, step);
      ::close(fd_);
      fd_ = next;
    }
  }
  ~DeepDirectory() {
    ::close(fd_);
    RemoveAt(root_, std::string(200, 'd'));
    ::close(root_);
  }
  DeepDirectory(const DeepDirectory&) = delete;
  DeepDirectory& operator=(const DeepDirectory&) = delete;

  int fd() const { return fd_; }

 private:
  static int Open(int dir, const std::string& name) {
    const int fd = ::openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) throw std::runtime_error("cannot open directory " + name);
    return fd;
  }

  int root_;
  int fd_ = -1;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(Process, AnExecutableDirectoryThatCannotBeToldEndsTheRunBeforeAnythingIsRead) {
  ProductTree tree;
  DeepDirectory deep(tree);
  // The binary and a complete set of its settings, there; a run that read
  // its settings from the current directory would find them and succeed.
  WriteAt(deep.fd(), "Plinth", ReadFile(PLINTH_BINARY), 0755);
  ASSERT_EQ(::mkdirat(deep.fd(), "META_INFO", 0755), 0);
  ASSERT_EQ(::mkdirat(deep.fd(), "META_INFO/SQLiteConf", 0755), 0);
  for (const char* file :
       {"plinth.log4cxx.properties", "InitSetup.xml", "SQLiteConf/SQLiteConfig.xml"}) {
    WriteAt(deep.fd(), std::string("META_INFO/") + file,
            tree.Read(tree.bin_dir() + "/META_INFO/" + file));
  }

  RunOptions options;
  options.working_directory = deep.fd();
  options.program = "./Plinth";
  const RunResult run = tree.Run({"event.s"}, options);

  EXPECT_EQ(run.exit_code, 1) << run.Dump();
  // A sanitizer's runtime may warn ("==<pid>==WARNING: ...") that it cannot
  // name the binary either.
  Lines on_stderr = run.StderrLines();
  on_stderr.erase(std::remove_if(on_stderr.begin(), on_stderr.end(),
                                 [](const std::string& line) { return line.rfind("==", 0) == 0; }),
                  on_stderr.end());
  EXPECT_EQ(on_stderr, Lines{"ERROR PLINTH - [main]RUN Plinth FAILED. the executable's "
                             "directory cannot be determined![main.cpp(*)]"});
  EXPECT_TRUE(run.log.empty()) << run.Dump();
}

// Where the log lines go when nobody reads standard error any more.
struct PipeCase {
  const char* name;
  std::string properties;  // empty: no properties file, the lines go to standard error
  int exit_code;           // 1 when every line went to standard error, and was lost
  friend void PrintTo(const PipeCase& c, std::ostream* os) { *os << c.name; }
};

const char kConsoleAppender[] =
    "log4j.appender.console=org.apache.log4j.ConsoleAppender\n"
    "log4j.appender.console.Target=System.err\n"
    "log4j.appender.console.layout=org.apache.log4j.PatternLayout\n"
    "log4j.appender.console.layout.ConversionPattern=%p %m%n\n";

const PipeCase kPipeCases[] = {
    {"FallbackToStandardError", "", 1},
    {"ConsoleAppender", "log4j.rootLogger=TRACE, console\n"s + kConsoleAppender, 1},
    {"FileAndConsoleAppenders",
     "log4j.rootLogger=TRACE, console, file\n"s + kConsoleAppender +
         "log4j.appender.file=org.apache.log4j.FileAppender\n"
         "log4j.appender.file.File=<log>\n"
         "log4j.appender.file.layout=org.apache.log4j.PatternLayout\n"
         "log4j.appender.file.layout.ConversionPattern=%p %m%n\n",
     0},
};

class BrokenPipe : public ::testing::TestWithParam<PipeCase> {};

// The build is done whatever becomes of the lines; a run whose lines are all
// lost cannot claim success.
TEST_P(BrokenPipe, LogLinesThatCannotBeWrittenDoNotEndTheBuild) {
  ProductTree tree;
  std::string properties = GetParam().properties;
  if (properties.empty()) {
    tree.Remove(tree.bin_dir() + kProperties);
  } else {
    const std::size_t log = properties.find("<log>");
    if (log != std::string::npos) properties.replace(log, 5, tree.Path("plinth.log"));
    tree.Write(tree.bin_dir() + kProperties, properties);
  }
  RunOptions options;
  options.stderr_reader_gone = true;
  const RunResult run = tree.Run({"platform"}, options);

  EXPECT_EQ(run.term_signal, 0);
  EXPECT_EQ(run.exit_code, GetParam().exit_code) << run.Dump();
  EXPECT_EQ(tree.Query("public.db", "SELECT code FROM dictionary;"), "a\n");
  EXPECT_EQ(tree.Query("platform.db", "SELECT version FROM product_version;"), "1.0\n");
  if (GetParam().exit_code == 0) {
    EXPECT_TRUE(run.Has("INFO [main]RUN Plinth SUCCESS.[main.cpp(*)]")) << run.Dump();
  }
}

INSTANTIATE_TEST_SUITE_P(Process, BrokenPipe, ::testing::ValuesIn(kPipeCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Process, AnExceptionEndsTheRunWithOneLineAndExitCodeOne) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's runtime needs more address space than the limit leaves";
#else
  // A data directory of 32 MiB: the file is read, but copies of the value
  // exhaust the 128 MiB of address space the run is given.
  ProductTree tree;
  tree.WriteInitSetup(std::string(32 << 20, 'x'), tree.sys_dir());
  RunOptions options;
  options.address_space_limit = 128ULL << 20;
  const RunResult run = tree.Run({"event.s"}, options);

  EXPECT_EQ(run.term_signal, 0);
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.Lines().back(),
            "ERROR [main]RUN Plinth FAILED. uncaught exception: std::bad_alloc![main.cpp(*)]")
      << run.Dump().substr(0, 2000);
  for (const auto& entry : std::filesystem::directory_iterator(tree.bin_dir())) {
    EXPECT_NE(entry.path().extension(), ".dmp") << "a crash report: " << entry.path();
  }
#endif
}

// A plug-in name that would write a line of success into the log of a run
// that fails, with the log in a file and on standard error.
TEST(Process, ANameWithALineFeedIsRefusedAndForgesNoLine) {
  const std::string forged = "INFO [main]RUN Plinth SUCCESS.[main.cpp(61)]";
  const std::string name = "x\n" + forged + "\nINFO y";
  const std::string escaped = "x\\n" + forged + "\\nINFO y";
  const Lines expected = {
      "INFO [main]RUN Plinth START.[main.cpp(*)]",
      "INFO [main]" + escaped + " Init.[main.cpp(*)]",
      "ERROR [main]plugin name \"" + escaped +
          "\" refused: it contains a control character.[main.cpp(*)]",
      "ERROR [main]RUN Plinth FAILED. input param error![main.cpp(*)]",
  };
  ProductTree tree;
  const RunResult to_file = tree.Run({name});
  EXPECT_EQ(to_file.exit_code, 1);
  EXPECT_EQ(to_file.Lines(), expected);

  tree.Remove(tree.bin_dir() + kProperties);
  const RunResult to_stderr = tree.Run({name});
  EXPECT_EQ(to_stderr.exit_code, 1);
  Lines on_stderr = {"log configuration " + tree.bin_dir() + kProperties +
                     " cannot be used: No such file or directory; logging to standard error"};
  for (const std::string& line : expected) {
    const std::size_t blank = line.find(' ');
    on_stderr.push_back(line.substr(0, blank) + " PLINTH - " + line.substr(blank + 1));
  }
  EXPECT_EQ(to_stderr.StderrLines(), on_stderr);
  EXPECT_FALSE(tree.Exists(tree.data_dir()));
}

// Characters at which a reader that breaks lines the Unicode way would start a
// new line: refused in a name, and escaped in the log.
TEST(Process, ANameWithAUnicodeLineBreakIsRefusedAndForgesNoLine) {
  const std::string forged = "INFO [main]RUN Plinth SUCCESS.[main.cpp(61)]";
  const struct {
    const char* character;  // UTF-8
    const char* escaped;
    const char* problem;
  } cases[] = {
      {"\xc2\x85", "\\u0085", "it contains a control character"},
      {"\xc2\x9b", "\\u009b", "it contains a control character"},
      {"\xe2\x80\xa8", "\\u2028", "it contains the line separator U+2028"},
      {"\xe2\x80\xa9", "\\u2029", "it contains the paragraph separator U+2029"},
  };
  ProductTree tree;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.escaped);
    const std::string name = "x"s + c.character + forged;
    const std::string escaped = "x"s + c.escaped + forged;
    const RunResult run = tree.Run({name}, {"LC_ALL=C.UTF-8"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.Lines(),
              (Lines{"INFO [main]RUN Plinth START.[main.cpp(*)]",
                     "INFO [main]" + escaped + " Init.[main.cpp(*)]",
                     "ERROR [main]plugin name \"" + escaped + "\" refused: " + c.problem +
                         ".[main.cpp(*)]",
                     "ERROR [main]RUN Plinth FAILED. input param error![main.cpp(*)]"}));
  }
  EXPECT_FALSE(tree.Exists(tree.data_dir()));
}

TEST(Process, AValueFromConfigurationIsLoggedWithItsControlCharactersEscaped) {
  ProductTree tree;
  // XML 1.0 admits no other C0 control character than these three; DEL is
  // a character of its own.
  tree.WriteInitSetup(tree.data_dir() + "&#10;INFO forged&#9;&#13;&#127;[0m", tree.sys_dir());
  const RunResult run = tree.Run({"event.s"});
  EXPECT_TRUE(run.Has("INFO [plinth::CToolSetup::InitSetup]s_db_data_dir_: " + tree.data_dir() +
                      "\\nINFO forged\\t\\r\\x7f[0m[ToolSetup.cpp(*)]"))
      << run.Dump();
  EXPECT_FALSE(run.Has("INFO forged"));
}

}  // namespace
}  // namespace plinth_e2e
