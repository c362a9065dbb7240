// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// The log configuration through the real binary: which properties files are
// used, and that every other one sends the lines to standard error after one
// line that says why, without ever blocking.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>

#include "e2e/Harness.h"
#include "e2e/TestUtil.h"

namespace plinth_e2e {
namespace {

// The definition of the appender "file", writing "LEVEL message" lines to
// `path`.
std::string FileAppender(const std::string& path) {
  return "log4j.appender.file=org.apache.log4j.FileAppender\n"
         "log4j.appender.file.File=" +
         path +
         "\n"
         "log4j.appender.file.layout=org.apache.log4j.PatternLayout\n"
         "log4j.appender.file.layout.ConversionPattern=%p %m%n\n";
}

// The environment of a run whose configuration has a rolling appender, or a
// rolling policy that Plinth asks for its file. Debian 12's log4cxx 1.0 frees
// a rolling policy with a size other than that it allocated it with:
// harmless to glibc's allocator, fatal to AddressSanitizer's check of it.
std::vector<std::string> RollingAppenderEnvironment() {
  const char* asan = std::getenv("ASAN_OPTIONS");
  return {"ASAN_OPTIONS=" + std::string(asan != nullptr ? asan : "") +
          ":new_delete_type_mismatch=0"};
}

struct LogConfigCase {
  const char* name;
  // Puts the properties file (or something else) at `path`.
  std::function<void(const ProductTree&, const std::string& path)> place;
  // Why the file is not used.
  std::function<std::string(const ProductTree&)> problem;
  friend void PrintTo(const LogConfigCase& c, std::ostream* os) { *os << c.name; }
};

std::function<std::string(const ProductTree&)> Problem(const std::string& text) {
  return [text](const ProductTree&) { return text; };
}

const std::string kNoAppender = "it gives the logger PLINTH (and its ancestors) no appender";

const LogConfigCase kLogConfigCases[] = {
    {"NoAppenderAnywhere",
     [](const ProductTree& t, const std::string& path) {
       t.Write(path, "log4j.rootLogger=INFO\n");
     },
     Problem(kNoAppender)},
    {"RootsAppenderCutOffByAdditivity",
     [](const ProductTree& t, const std::string& path) {
       t.Write(path,
               "log4j.rootLogger=INFO, file\nlog4j.logger.PLINTH=INFO\n"
               "log4j.additivity.PLINTH=false\n" +
                   FileAppender(t.Path("plinth.log")));
     },
     Problem(kNoAppender)},
    {"AppenderFileCannotBeOpened",
     [](const ProductTree& t, const std::string& path) {
       t.Write("plain-file", "");
       t.Write(path,
               "log4j.rootLogger=INFO, file\n" + FileAppender(t.Path("plain-file/plinth.log")));
     },
     [](const ProductTree& t) {
       return "its appender file cannot open its file \"" + t.Path("plain-file/plinth.log") + "\"";
     }},
    // log4cxx would block for ever opening the FIFO; its path is found as
    // log4cxx finds it, through a variable of the file.
    {"AppenderFileIsAFifo",
     [](const ProductTree& t, const std::string& path) {
       ASSERT_EQ(::mkfifo(t.Path("fifo").c_str(), 0600), 0);
       t.Write(path,
               "dir=" + t.root() + "\nlog4j.rootLogger=INFO, file\n" + FileAppender("${dir}/fifo"));
     },
     [](const ProductTree& t) {
       return "its appender file writes to \"" + t.Path("fifo") + "\", which is not a regular file";
     }},
    // A rolling appender without a File writes to the file its rolling
    // policy names: FileNamePattern at MinIndex.
    {"RollingPolicyFileIsAFifo",
     [](const ProductTree& t, const std::string& path) {
       ASSERT_EQ(::mkfifo(t.Path("fifo1").c_str(), 0600), 0);
       t.Write(path,
               "log4j.rootLogger=INFO, file\n"
               "log4j.appender.file=org.apache.log4j.rolling.RollingFileAppender\n"
               "log4j.appender.file.rollingPolicy="
               "org.apache.log4j.rolling.FixedWindowRollingPolicy\n"
               "log4j.appender.file.rollingPolicy.FileNamePattern=" +
                   t.Path("fifo%i") +
                   "\n"
                   "log4j.appender.file.layout=org.apache.log4j.PatternLayout\n"
                   "log4j.appender.file.layout.ConversionPattern=%p %m%n\n");
     },
     [](const ProductTree& t) {
       return "its appender file writes to \"" + t.Path("fifo1") +
              "\", which is not a regular file";
     }},
    {"AppenderFileIsADirectory",
     [](const ProductTree& t, const std::string& path) {
       t.Write("dir/inner", "");
       t.Write(path, "log4j.rootLogger=INFO, file\n" + FileAppender(t.Path("dir")));
     },
     [](const ProductTree& t) {
       return "its appender file writes to \"" + t.Path("dir") + "\", which is not a regular file";
     }},
    // Such an appender writes nothing at all, not even why.
    {"AppenderWithoutLayout",
     [](const ProductTree& t, const std::string& path) {
       t.Write(path,
               "log4j.rootLogger=INFO, file\n"
               "log4j.appender.file=org.apache.log4j.FileAppender\n"
               "log4j.appender.file.File=" +
                   t.Path("plinth.log") + "\n");
     },
     Problem("its appender file has no layout")},
    {"Missing", [](const ProductTree& t, const std::string& path) { t.Remove(path); },
     Problem("No such file or directory")},
    {"Directory",
     [](const ProductTree& t, const std::string& path) {
       t.Remove(path);
       t.Write(path + "/inner", "");
     },
     Problem("it is a directory")},
    {"Fifo",
     [](const ProductTree& t, const std::string& path) {
       t.Remove(path);
       ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
     },
     Problem("it is not a regular file")},
    {"LinkToDevZero",
     [](const ProductTree& t, const std::string& path) {
       t.Remove(path);
       std::filesystem::create_symlink("/dev/zero", path);
     },
     Problem("it is not a regular file")},
};

const std::string kPropertiesPath = "/META_INFO/plinth.log4cxx.properties";

TEST(LogConfig, OnlyThePlinthLoggerHasAnAppender) {
  ProductTree tree;
  tree.Write(tree.bin_dir() + kPropertiesPath,
             "log4j.rootLogger=INFO\nlog4j.logger.PLINTH=INFO, file\n" +
                 FileAppender(tree.Path("plinth.log")));
  const RunResult run = tree.Run({"event.s"});

  EXPECT_FALSE(run.timed_out);
  EXPECT_EQ(run.exit_code, 0) << run.Dump();
  EXPECT_EQ(run.std_err, "");
  EXPECT_TRUE(run.Has("INFO [main]RUN Plinth SUCCESS.[main.cpp(*)]")) << run.Dump();
}

// The log file is readable by its owner and group only, whatever the umask
// left; a narrower mode stays.
TEST(LogConfig, TheLogFileLosesEveryPermissionBeyond0640) {
  const struct {
    int existing_mode;  // -1: no file before the run
    mode_t mode;
  } cases[] = {{-1, 0640}, {0666, 0640}, {0604, 0600}, {0600, 0600}};
  // log4cxx makes a new file 0666 less the umask: with none, 0666.
  const mode_t umask = ::umask(0);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.existing_mode);
    ProductTree tree;
    const std::string log = tree.Path("plinth.log");
    if (c.existing_mode >= 0) {
      tree.Write("plinth.log", "");
      ASSERT_EQ(::chmod(log.c_str(), static_cast<mode_t>(c.existing_mode)), 0);
    }
    RunOptions options;
    options.keep_log = true;
    EXPECT_EQ(tree.Run({"event.s"}, options).exit_code, 0);
    struct stat st;
    ASSERT_EQ(::stat(log.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, c.mode);
  }
  ::umask(umask);
}

RunOptions RollingAppenderOptions() {
  RunOptions options;
  options.keep_log = true;
  options.extra_env = RollingAppenderEnvironment();
  return options;
}

// A rolling appender begins new files during the run, with the mode the umask
// gives: the file it writes last is narrowed too before Plinth ends.
TEST(LogConfig, ALogFileBegunByARolloverLosesEveryPermissionBeyond0640) {
  ProductTree tree;
  tree.Write(tree.bin_dir() + kPropertiesPath,
             "log4j.rootLogger=INFO, file\n"
             "log4j.appender.file=org.apache.log4j.RollingFileAppender\n"
             "log4j.appender.file.File=" +
                 tree.Path("plinth.log") +
                 "\n"
                 "log4j.appender.file.MaxFileSize=100\n"
                 "log4j.appender.file.MaxBackupIndex=1\n"
                 "log4j.appender.file.layout=org.apache.log4j.PatternLayout\n"
                 "log4j.appender.file.layout.ConversionPattern=%p %m%n\n");
  const mode_t umask = ::umask(0);
  const RunResult run = tree.Run({"event.s"}, RollingAppenderOptions());
  ::umask(umask);
  EXPECT_EQ(run.exit_code, 0) << run.std_err;
  ASSERT_TRUE(tree.Exists(tree.Path("plinth.log.1")));  // it rolled over
  struct stat st;
  ASSERT_EQ(::stat(tree.Path("plinth.log").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640);
}

// The example configuration that writes the log as JSON, as installed: every
// line of its file is one JSON object, whose level and message are those of
// the same run's text log. A message holds the text line's escapes (\t, \n,
// \r) as text, and a quote and a backslash as they are.
TEST(LogConfig, JsonExampleWritesOneObjectALine) {
  ProductTree tree;
  tree.WriteSQLiteConfig(
      {{"key", kKey},
       {"kdf_iter", "1000"},
       {"user_version", "7&#9;tab&#10;lf&#13;cr &quot;quoted&quot; back\\slash"}});
  const RunResult text = tree.Run({"platform"});
  ASSERT_EQ(text.exit_code, 0) << text.Dump();
  tree.Remove(tree.data_dir());

  std::string properties = tree.Read(PLINTH_JSON_LOG_TEMPLATE);
  const std::string placeholder = "@PLINTH_LOG_FILE@";
  for (std::size_t at; (at = properties.find(placeholder)) != std::string::npos;) {
    properties.replace(at, placeholder.size(), tree.Path("plinth.jsonl"));
  }
  tree.Write(tree.bin_dir() + kPropertiesPath, properties);
  // The example uses a RollingFileAppender, as the default configuration does.
  const RunResult json = tree.Run({"platform"}, RollingAppenderOptions());
  ASSERT_EQ(json.exit_code, 0) << json.std_err;

  std::vector<LogLine> parsed;
  std::istringstream in(tree.Read("plinth.jsonl"));
  for (std::string line; std::getline(in, line);) {
    const nlohmann::json object = nlohmann::json::parse(line, nullptr, false);
    ASSERT_TRUE(object.is_object()) << line;
    ASSERT_TRUE(object.contains("timestamp") && object.contains("level") &&
                object.contains("logger") && object.contains("message"))
        << line;
    EXPECT_EQ(object["logger"], "PLINTH") << line;
    parsed.push_back({object["level"].get<std::string>(), object["message"].get<std::string>()});
  }
  EXPECT_EQ(parsed, text.log);
  const std::string setting =
      "[plinth::CInitDBManager::ReadSQLiteConfig]PRAGMA user_version = 7\\ttab\\nlf\\rcr "
      "\"quoted\" back\\slash[InitDBManager.cpp(*)]";
  EXPECT_TRUE(std::any_of(parsed.begin(), parsed.end(), [&](const LogLine& line) {
    return WithoutLineNumber(line.message) == setting;
  }));
}

class LogConfig : public ::testing::TestWithParam<LogConfigCase> {};

TEST_P(LogConfig, LinesGoToStandardErrorAfterOneLineThatSaysWhy) {
  ProductTree tree;
  const std::string path = tree.bin_dir() + kPropertiesPath;
  GetParam().place(tree, path);
  const RunResult run = tree.Run({"event.s"}, RollingAppenderEnvironment());

  EXPECT_FALSE(run.timed_out);
  EXPECT_EQ(run.exit_code, 0) << run.Dump();
  EXPECT_TRUE(run.log.empty()) << run.Dump();
  // The notice, then every line of the run (log4cxx may add lines of its own).
  const Lines on_stderr = run.StderrLines();
  const std::string notice = "log configuration " + path +
                             " cannot be used: " + GetParam().problem(tree) +
                             "; logging to standard error";
  const auto at = std::find(on_stderr.begin(), on_stderr.end(), notice);
  ASSERT_NE(at, on_stderr.end()) << run.std_err;
  const Lines run_lines(at + 1, on_stderr.end());
  EXPECT_EQ(run_lines.front(), "INFO PLINTH - [main]RUN Plinth START.[main.cpp(*)]");
  EXPECT_EQ(run_lines.back(), "INFO PLINTH - [main]RUN Plinth SUCCESS.[main.cpp(*)]");
}

INSTANTIATE_TEST_SUITE_P(LogConfig, LogConfig, ::testing::ValuesIn(kLogConfigCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace plinth_e2e
