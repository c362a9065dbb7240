// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// Faults around a run: a full disk, a read-only data directory, files that are
// not what their names promise, a run killed at any point, and many runs
// started at once. Each case says how the run ends, with which line, and what
// must still be on disk; then the fault is mended and the next runs must build
// complete databases. Every test uses a key of its own, made when it runs, and
// fails when that key shows up in anything a run wrote: its log, standard
// error and output, and every file below the tree (crash reports included)
// but the settings file that holds it. The database files are encrypted, so
// the key is not in them either.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "e2e/Harness.h"
#include "e2e/TestUtil.h"

namespace plinth_e2e {
namespace {

namespace fs = std::filesystem;

const std::string kAt = "[InitDBManager.cpp(*)]";

// A key for one test, made of random letters: it occurs in no source, and in
// no other test's files.
std::string UniqueKey() {
  std::random_device random;
  std::string key = "fault-";
  for (int i = 0; i < 24; ++i) key += "abcdefghijklmnopqrstuvwxyz"[random() % 26];
  return key;
}

// `rows` rows of 200 random bytes into `table`, numbered from `first`.
std::string BulkInsert(const std::string& table, int first, int rows) {
  return "WITH RECURSIVE n(x) AS (SELECT " + std::to_string(first) +
         " UNION ALL SELECT x + 1 FROM n WHERE x < " + std::to_string(first + rows - 1) +
         ") INSERT INTO " + table + " SELECT x, randomblob(200) FROM n;\n";
}

constexpr int kPlatformRows = 4000;
constexpr int kEventRows = 400;
constexpr int kItemRows = 100;

std::string PlatformCreateTables() {
  return "CREATE TABLE bulk(n INTEGER PRIMARY KEY, filler BLOB);\n";
}

std::string PlatformInitData() {
  return "BEGIN;\n" + BulkInsert("bulk", 1, kPlatformRows / 2) +
         "SELECT test_point('platform-init');\n" +
         BulkInsert("bulk", kPlatformRows / 2 + 1, kPlatformRows / 2) + "COMMIT;\n";
}

// A product whose platform build writes some 1 MB of data, with test
// points where a test can stop or hold it (testpoint.func.sqlite):
//   "product-version"  public.db is complete, platform.db just made
//   "platform-init"    inside the transaction of the platform's init_data.sql
//   "event-init"       inside the transaction of event.s's init_data.sql
// and an ordinary plug-in "inv" that also writes a row into event.db.
void WriteLongProduct(const ProductTree& tree, const std::string& key,
                      const std::string& journal_mode = "") {
  std::vector<std::pair<std::string, std::string>> settings = {{"key", key}};
  if (!journal_mode.empty()) settings.emplace_back("journal_mode", journal_mode);
  tree.WriteSQLiteConfig(settings);
  tree.InstallExtension("testpoint.func.sqlite.so");
  const std::string points = "<SQLiteFuncDLL><Name>testpoint.func.sqlite.so</Name></SQLiteFuncDLL>";
  tree.WriteDBConfig("platform", ProductTree::DBConfigBody("platform", "platform.db", points));
  tree.WriteDBConfig("event.s", ProductTree::DBConfigBody("event", "event.db", points));
  tree.Write(tree.sys_dir() + "/META_INFO/ProductVersionToDB.sql",
             "SELECT test_point('product-version');\n"
             "CREATE TABLE product_version(version TEXT);\n"
             "INSERT INTO product_version VALUES('1.0');\n");
  tree.Write(tree.ScriptFile("platform", "create_tables.sql"), PlatformCreateTables());
  tree.Write(tree.ScriptFile("platform", "init_data.sql"), PlatformInitData());
  tree.Write(tree.ScriptFile("event.s", "create_tables.sql"),
             "CREATE TABLE events(n INTEGER PRIMARY KEY, filler BLOB);\n");
  tree.Write(tree.ScriptFile("event.s", "init_data.sql"),
             "BEGIN;\n" + BulkInsert("events", 1, kEventRows / 2) +
                 "SELECT test_point('event-init');\n" +
                 BulkInsert("events", kEventRows / 2 + 1, kEventRows / 2) + "COMMIT;\n");
  tree.WriteDBConfig("inv",
                     ProductTree::DBConfigBody(
                         "inv", "inv.db",
                         ProductTree::EventSScripts("<Path>META_INFO/inv/inv_events.sql</Path>")));
  tree.Write(tree.sys_dir() + "/META_INFO/inv/inv_events.sql",
             "INSERT INTO events VALUES(-1, 'inv');\n");
  tree.Write(tree.ScriptFile("inv", "create_tables.sql"),
             "CREATE TABLE items(n INTEGER PRIMARY KEY, filler BLOB);\n");
  tree.Write(tree.ScriptFile("inv", "init_data.sql"), BulkInsert("items", 1, kItemRows));
}

// Every database of the long product holds all its data, and is sound.
::testing::AssertionResult DatabasesComplete(const ProductTree& tree, const std::string& key) {
  const struct {
    const char* file;
    std::string sql;
    std::string rows;
  } checks[] = {
      {"public.db", "SELECT code, label FROM dictionary;", "a|Alpha\n"},
      {"platform.db", "SELECT version FROM product_version;", "1.0\n"},
      {"platform.db", "SELECT count(*) FROM bulk;", std::to_string(kPlatformRows) + "\n"},
      {"event.db", "SELECT count(*) FROM events;", std::to_string(kEventRows + 1) + "\n"},
      {"inv.db", "SELECT count(*) FROM items;", std::to_string(kItemRows) + "\n"},
  };
  for (const auto& check : checks) {
    const std::string rows = tree.Query(check.file, check.sql, key);
    if (rows != check.rows) {
      return ::testing::AssertionFailure()
             << check.file << ": " << check.sql << " gave " << rows << ", not " << check.rows;
    }
  }
  for (const char* file : {"public.db", "platform.db", "event.db", "inv.db"}) {
    const std::string answer = tree.Query(file, "PRAGMA integrity_check;", key);
    if (answer != "ok\n") return ::testing::AssertionFailure() << file << ": " << answer;
  }
  return ::testing::AssertionSuccess();
}

// Success when `key` is in none of what `runs` wrote (log, standard error and
// output) and in no regular file below the tree's root but SQLiteConfig.xml,
// which holds it.
::testing::AssertionResult KeyNowhere(const ProductTree& tree, const std::vector<RunResult>& runs,
                                      const std::string& key) {
  for (const RunResult& run : runs) {
    const ::testing::AssertionResult output = NowhereInOutput(run, key);
    if (!output) return output;
    if (run.std_out.find(key) != std::string::npos) {
      return ::testing::AssertionFailure() << "the key on standard output:\n" << run.std_out;
    }
  }
  const fs::path settings = tree.bin_dir() + "/META_INFO/SQLiteConf/SQLiteConfig.xml";
  std::error_code ec;
  for (fs::recursive_directory_iterator it(tree.root(), ec), end; !ec && it != end;
       it.increment(ec)) {
    if (!it->is_regular_file() || it->is_symlink() || it->path() == settings) continue;
    std::ifstream in(it->path(), std::ios::binary);
    const std::string content(std::istreambuf_iterator<char>(in), {});
    if (content.find(key) != std::string::npos) {
      return ::testing::AssertionFailure() << "the key in " << it->path();
    }
  }
  if (ec) return ::testing::AssertionFailure() << "cannot walk " << tree.root() << ": " << ec;
  return ::testing::AssertionSuccess();
}

// Runs the platform and then "inv", fault-free: both must succeed.
std::vector<RunResult> RebuildAll(const ProductTree& tree) {
  std::vector<RunResult> runs = {tree.Run({"platform"})};
  EXPECT_EQ(runs.back().exit_code, 0) << runs.back().Dump();
  runs.push_back(tree.Run({"inv"}));
  EXPECT_EQ(runs.back().exit_code, 0) << runs.back().Dump();
  return runs;
}

// ---------------------------------------------------------------------------
// Mounts. As root, the test process moves into a mount namespace of its own,
// where what it mounts is seen by it and by the runs it starts, and by nobody
// else; the mounts go with the process at the latest.

// Empty once the process is in its own mount namespace; else why it cannot be.
std::string PrivateMountNamespaceProblem() {
  static const std::string problem = []() -> std::string {
    if (::geteuid() != 0) return "mounting a file system needs root";
    if (::unshare(CLONE_NEWNS) != 0) {
      return std::string("unshare(CLONE_NEWNS): ") + std::strerror(errno);
    }
    if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
      return std::string("making / private: ") + std::strerror(errno);
    }
    return std::string();
  }();
  return problem;
}

// A mount at `dir`, undone when the object goes.
class ScopedMount {
 public:
  ScopedMount() = default;
  ~ScopedMount() { Unmount(); }
  ScopedMount(const ScopedMount&) = delete;
  ScopedMount& operator=(const ScopedMount&) = delete;

  // A tmpfs of `size` ("16m") at `dir`, which is created.
  void Tmpfs(const std::string& dir, const std::string& size) {
    fs::create_directories(dir);
    Check(::mount("tmpfs", dir.c_str(), "tmpfs", 0, ("size=" + size + ",mode=0755").c_str()),
          "tmpfs at " + dir);
    dir_ = dir;
  }
  // `dir` itself again, read-only: root cannot write there either.
  void ReadOnly(const std::string& dir) {
    Check(::mount(dir.c_str(), dir.c_str(), nullptr, MS_BIND, nullptr), "bind " + dir);
    dir_ = dir;
    Check(::mount(nullptr, dir.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr),
          "read-only " + dir);
  }
  void Unmount() {
    if (!dir_.empty()) ::umount2(dir_.c_str(), MNT_DETACH);
    dir_.clear();
  }

 private:
  static void Check(int result, const std::string& what) {
    if (result != 0) throw std::runtime_error("mount " + what + ": " + std::strerror(errno));
  }
  std::string dir_;
};

// ---------------------------------------------------------------------------
// One fault at a time: how the run ends, and what stays.

enum class Mount { kNone, kFullDataDir, kReadOnlyDataDir };

struct FaultCase {
  const char* name;
  Mount mount;
  // Puts the fault in place in a tree of the long product (after the mount).
  std::function<void(const ProductTree&)> arrange;
  std::string plugin;
  int exit_code;
  // The line that tells the fault, with "<data>" and "<sys>" for the tree's
  // data and system directories; one that ends with "*" gives the line's
  // beginning.
  std::string failure_line;
  // Files (relative to the tree's root) that must still be there afterwards.
  std::vector<std::string> kept;
  // Takes the fault away (before the mount is undone); nothing when empty.
  std::function<void(const ProductTree&)> mend;
};

std::string Expand(std::string text, const ProductTree& tree) {
  for (const auto& [name, value] : {std::pair<std::string, std::string>{"<data>", tree.data_dir()},
                                    {"<sys>", tree.sys_dir()}}) {
    for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name, at)) {
      text.replace(at, name.size(), value);
      at += value.size();
    }
  }
  return text;
}

const std::string kScriptDir = "product/system/META_INFO/SYS/runtime_script/db_init/SQLite/";

void ReplaceWithFifo(const ProductTree& tree, const std::string& relative) {
  tree.Remove(relative);
  if (::mkfifo(tree.Path(relative).c_str(), 0644) != 0) throw std::runtime_error("mkfifo");
}

const FaultCase kFaultCases[] = {
    {"FullDisk",
     Mount::kFullDataDir,
     // The data directory has some 512 kB left: enough for public.db and the
     // start of platform.db, not for the platform's data.
     [](const ProductTree& tree) {
       std::ofstream(tree.Path("data/filler"), std::ios::binary)
           << std::string(7 * 1024 * 1024 + 512 * 1024, 'f');
     },
     "platform",
     1,
     "ERROR [plinth::CInitDBManager::SQLiteDBInit]init_data fail,errorcode:13,errinfo:database or "
     "disk is full" +
         kAt,
     {"data/filler", "data/public.db"},
     [](const ProductTree& tree) { tree.Remove("data/filler"); }},
    {"ReadOnlyDataDir",
     Mount::kReadOnlyDataDir,
     nullptr,
     "platform",
     1,
     "FATAL [plinth::CInitDBManager::CreatePublicSQLiteDBFile]remove public.db fail,errinfo:"
     "Read-only file system" +
         kAt,
     {"data/public.db", "data/platform.db", "data/event.db"},
     nullptr},
    {"ScriptIsAFifo",
     Mount::kNone,
     [](const ProductTree& tree) { ReplaceWithFifo(tree, kScriptDir + "init_data.sql"); },
     "platform",
     1,
     "FATAL [plinth::CInitDBManager::SQLiteDBInit]ReadFile fail, path = "
     "<sys>/META_INFO/SYS/runtime_script/db_init/SQLite/init_data.sql" +
         kAt,
     {kScriptDir + "init_data.sql", "data/public.db"},
     [](const ProductTree& tree) {
       tree.Remove(kScriptDir + "init_data.sql");
       tree.Write(kScriptDir + "init_data.sql", PlatformInitData());
     }},
    {"ScriptIsADirectory",
     Mount::kNone,
     [](const ProductTree& tree) {
       tree.Remove(kScriptDir + "create_tables.sql");
       tree.Write(kScriptDir + "create_tables.sql/keep", "kept");
     },
     "platform",
     1,
     "FATAL [plinth::CInitDBManager::SQLiteDBInit]ReadFile fail, path = "
     "<sys>/META_INFO/SYS/runtime_script/db_init/SQLite/create_tables.sql" +
         kAt,
     {kScriptDir + "create_tables.sql/keep"},
     [](const ProductTree& tree) {
       tree.Remove(kScriptDir + "create_tables.sql");
       tree.Write(kScriptDir + "create_tables.sql", PlatformCreateTables());
     }},
    {"ExtensionIsNoSharedLibrary",
     Mount::kNone,
     [](const ProductTree& tree) {
       tree.Write("product/system/testpoint.func.sqlite.so", "not a shared library\n");
     },
     "platform",
     1,
     // The loader's text follows: "<file>: invalid ELF header", or, as SQLite
     // tries the name with ".so" appended too, that "<file>.so" is missing.
     "ERROR [plinth::CInitDBManager::CreateSQLiteDBFile]sqlite3_load_extension fail,errorcode:1,"
     "errinfo:<sys>/testpoint.func.sqlite.so*",
     {"product/system/testpoint.func.sqlite.so", "data/public.db"},
     [](const ProductTree& tree) { tree.InstallExtension("testpoint.func.sqlite.so"); }},
    {"DatabasePathIsADirectory",
     Mount::kNone,
     [](const ProductTree& tree) { tree.Write("data/platform.db/keep", "kept"); },
     "platform",
     1,
     "FATAL [plinth::CInitDBManager::CreateSQLiteDBFile]remove platform.db fail,errinfo:Directory "
     "not empty" +
         kAt,
     {"data/platform.db/keep"},
     [](const ProductTree& tree) { tree.Remove("data/platform.db"); }},
    {"WalCompanionIsADirectory",
     Mount::kNone,
     [](const ProductTree& tree) { tree.Write("data/platform.db-wal/keep", "kept"); },
     "platform",
     1,
     "FATAL [plinth::CInitDBManager::CreateSQLiteDBFile]remove platform.db fail,errinfo:Directory "
     "not empty" +
         kAt,
     {"data/platform.db-wal/keep"},
     [](const ProductTree& tree) { tree.Remove("data/platform.db-wal"); }},
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

class Fault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(Fault, EndsWithItsLineKeepsWhatWasThereAndTheNextRunsBuildEverything) {
  const FaultCase& c = GetParam();
  if (c.mount != Mount::kNone) {
    const std::string problem = PrivateMountNamespaceProblem();
    if (!problem.empty()) GTEST_SKIP() << "needs a mount namespace of its own: " << problem;
  }
  const std::string key = UniqueKey();
  ProductTree tree;
  WriteLongProduct(tree, key);
  std::vector<RunResult> runs;
  ScopedMount mount;  // undone before the tree goes
  if (c.mount == Mount::kFullDataDir) mount.Tmpfs(tree.data_dir(), "8m");
  if (c.mount == Mount::kReadOnlyDataDir) {
    runs = RebuildAll(tree);
    mount.ReadOnly(tree.data_dir());
  }
  if (c.arrange) c.arrange(tree);
  const std::string before = DirectorySnapshot(tree.data_dir());

  runs.push_back(tree.Run({c.plugin}));
  const RunResult& run = runs.back();
  EXPECT_FALSE(run.timed_out);
  EXPECT_EQ(run.exit_code, c.exit_code) << run.Dump();
  const std::string line = Expand(c.failure_line, tree);
  if (line.back() == '*') {
    const std::string begin = line.substr(0, line.size() - 1);
    const Lines lines = run.Lines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                            [&](const std::string& l) { return l.rfind(begin, 0) == 0; }))
        << "no line begins with " << begin << "\n"
        << run.Dump();
  } else {
    EXPECT_TRUE(InOrder(run, {line}));
  }
  for (const std::string& file : c.kept) EXPECT_TRUE(tree.Exists(file)) << file;
  if (c.mount == Mount::kReadOnlyDataDir) {
    EXPECT_EQ(DirectorySnapshot(tree.data_dir()), before);
  }

  if (c.mend) c.mend(tree);
  if (c.mount == Mount::kReadOnlyDataDir) mount.Unmount();
  for (RunResult& again : RebuildAll(tree)) runs.push_back(std::move(again));
  EXPECT_TRUE(DatabasesComplete(tree, key));
  EXPECT_TRUE(KeyNowhere(tree, runs, key));
}

INSTANTIATE_TEST_SUITE_P(Faults, Fault, ::testing::ValuesIn(kFaultCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A log file on a full disk: the run ends at its first line, with exit code 1,
// and standard error says why, then holds the lines that the log could not.
TEST(Fault, ALogOnAFullDiskEndsTheRunSayingWhy) {
  const std::string problem = PrivateMountNamespaceProblem();
  if (!problem.empty()) GTEST_SKIP() << "needs a mount namespace of its own: " << problem;
  ProductTree tree;
  ScopedMount mount;  // undone before the tree goes
  mount.Tmpfs(tree.Path("log"), "64k");
  {
    std::ofstream filler(tree.Path("log/filler"), std::ios::binary);
    const std::string block(4096, 'f');
    const auto size = static_cast<std::streamsize>(block.size());
    while (filler.write(block.data(), size) && filler.flush()) {
    }
  }
  tree.Write(tree.bin_dir() + "/META_INFO/plinth.log4cxx.properties",
             "log4j.rootLogger=INFO, file\n"
             "log4j.appender.file=org.apache.log4j.FileAppender\n"
             "log4j.appender.file.File=" +
                 tree.Path("log/plinth.log") +
                 "\n"
                 "log4j.appender.file.layout=org.apache.log4j.PatternLayout\n"
                 "log4j.appender.file.layout.ConversionPattern=%p %m%n\n");
  const RunResult run = tree.Run({"event.s"});

  EXPECT_EQ(run.term_signal, 0);
  EXPECT_EQ(run.exit_code, 1);
  const Lines on_stderr = run.StderrLines();
  ASSERT_EQ(on_stderr.size(), 3u) << run.std_err;
  // log4cxx's text of the failed write, which names the system's error.
  const std::string prefix = "the log cannot be written: ";
  const std::string suffix = "; logging to standard error";
  ASSERT_EQ(on_stderr[0].rfind(prefix, 0), 0u) << on_stderr[0];
  ASSERT_GT(on_stderr[0].size(), prefix.size() + suffix.size());
  const std::string cause =
      on_stderr[0].substr(prefix.size(), on_stderr[0].size() - prefix.size() - suffix.size());
  EXPECT_EQ(on_stderr[0], prefix + cause + suffix);
  EXPECT_NE(cause.find("No space left on device"), std::string::npos) << cause;
  EXPECT_EQ(on_stderr[1], "INFO PLINTH - [main]RUN Plinth START.[main.cpp(*)]");
  EXPECT_EQ(on_stderr[2], "ERROR PLINTH - [main]RUN Plinth FAILED. uncaught exception: " + cause +
                              "![main.cpp(*)]");
}

// ---------------------------------------------------------------------------
// A run killed with SIGKILL at a test point; the next runs must not mind.

struct KillCase {
  const char* name;
  const char* point;
  const char* journal_mode;  // "" for SQLite's default (a rollback journal)
};

// A kill inside a transaction leaves a rollback journal, or in WAL mode the
// -wal and -shm files, beside a database that the next run makes afresh.
const KillCase kKillCases[] = {
    {"AfterPublicDb", "product-version", ""},
    {"InsidePlatformScript", "platform-init", ""},
    {"InsidePlatformScriptWal", "platform-init", "WAL"},
    {"InsideSpecialPluginBuild", "event-init", ""},
};

void PrintTo(const KillCase& c, std::ostream* os) { *os << c.name; }

class Killed : public ::testing::TestWithParam<KillCase> {};

TEST_P(Killed, TheNextPlatformRunAndAPluginRunBuildCompleteDatabases) {
  const KillCase& c = GetParam();
  const std::string key = UniqueKey();
  ProductTree tree;
  WriteLongProduct(tree, key, c.journal_mode);
  RunOptions options;
  options.kill_when_exists = tree.tmp_dir() + "/reached";
  options.extra_env = {std::string("PLINTH_TEST_POINT=") + c.point +
                       ":60000:" + options.kill_when_exists};
  std::vector<RunResult> runs = {tree.Run({"platform"}, options)};
  ASSERT_EQ(runs.back().term_signal, SIGKILL) << runs.back().Dump();

  for (RunResult& again : RebuildAll(tree)) runs.push_back(std::move(again));
  EXPECT_TRUE(DatabasesComplete(tree, key));
  EXPECT_TRUE(KeyNowhere(tree, runs, key));
}

INSTANTIATE_TEST_SUITE_P(Faults, Killed, ::testing::ValuesIn(kKillCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Twenty starts of the same plug-in at once: one builds, the others leave.

TEST(Concurrent, TwentyStartsOneBuildsTheOthersEndWithTheNotice) {
  constexpr int kStarts = 20;
  const std::string key = UniqueKey();
  ProductTree tree;
  WriteLongProduct(tree, key);
  // The run that builds holds 2 s inside its script: every other start comes
  // while it runs.
  RunOptions options;
  options.keep_log = true;
  options.extra_env = {"PLINTH_TEST_POINT=platform-init:2000:" + tree.tmp_dir() + "/reached"};
  std::promise<void> go;
  const std::shared_future<void> ready = go.get_future().share();
  std::vector<RunResult> runs(kStarts);
  std::vector<std::thread> starts;
  starts.reserve(kStarts);
  for (int i = 0; i < kStarts; ++i) {
    starts.emplace_back([&, i] {
      ready.wait();
      runs[i] = tree.Run({"platform"}, options);
    });
  }
  go.set_value();
  for (std::thread& start : starts) start.join();

  int built = 0;
  for (const RunResult& run : runs) {
    EXPECT_EQ(run.exit_code, 0) << run.Dump();
    if (run.std_err.empty()) {
      ++built;
    } else {
      EXPECT_EQ(run.StderrLines(),
                Lines{"WARN PLINTH - [main]Already exists Plinth.exe. exit![main.cpp(*)]"});
    }
  }
  EXPECT_EQ(built, 1);
  RunResult log;
  log.log = tree.ReadLog();
  const Lines lines = log.Lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "INFO [main]RUN Plinth START.[main.cpp(*)]"), 1)
      << log.Dump();
  EXPECT_TRUE(log.Has("INFO [main]RUN Plinth SUCCESS.[main.cpp(*)]")) << log.Dump();
  EXPECT_TRUE(tree.Exists(tree.tmp_dir() + "/reached"));

  runs.push_back(log);
  runs.push_back(tree.Run({"inv"}));
  EXPECT_EQ(runs.back().exit_code, 0) << runs.back().Dump();
  EXPECT_TRUE(DatabasesComplete(tree, key));
  EXPECT_TRUE(KeyNowhere(tree, runs, key));
}

}  // namespace
}  // namespace plinth_e2e
