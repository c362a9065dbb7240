// End-to-end harness: lays out a product tree in a fresh temporary directory,
// with a copy of the built Plinth binary, runs it, and hands back the exit
// code, standard output, standard error and the log lines. Every tree has its own TMPDIR, so
// the single-instance guard of one test never meets another's and tests run in
// parallel.
//
// The tree, a complete small product:
//   <root>/bin/Plinth                              the binary under test
//   <root>/bin/META_INFO/plinth.log4cxx.properties file appender, "LEVEL message"
//   <root>/bin/META_INFO/InitSetup.xml             data and system directories
//   <root>/bin/META_INFO/SQLiteConf/SQLiteConfig.xml  the key kKey, no settings
//   <root>/bin/META_INFO/db_init/SQLite/create_public_data.sql
//   <root>/product/Product.xml                     product type "ProductA"
//   <root>/product/system/                         the system directory, with
//       public.func.sqlite.so, META_INFO/ProductVersionToDB.sql, and the
//       DBConfig.xml of "platform" (META_INFO/SYS: schema platform, platform.db)
//       and of "event.s" (schema event, event.db)
//   <root>/data/                                   the data directory (not created)
//   <root>/tmp/                                    TMPDIR of the run
#ifndef PLINTH_TESTS_E2E_HARNESS_H_
#define PLINTH_TESTS_E2E_HARNESS_H_

#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace plinth_e2e {

// The encryption key of the default tree; it occurs nowhere else, so a log
// can be searched for it.
inline constexpr char kKey[] = "Qz7-unique-k3y-9fX";

struct LogLine {
  std::string level;    // "INFO", "WARN", "ERROR", "FATAL", ...
  std::string message;  // as formatted by the tool
  bool operator==(const LogLine& other) const {
    return level == other.level && message == other.message;
  }
  friend std::ostream& operator<<(std::ostream& os, const LogLine& line) {
    return os << line.level << " " << line.message;
  }
};

// Splits log text written with the layout "%p %m%n" into lines.
std::vector<LogLine> ParseLog(const std::string& text);

// `message` with the line number of its closing "[file(line)]" written as "*".
std::string WithoutLineNumber(const std::string& message);

// A fresh directory below the system's temporary directory, named
// "<prefix>-<pid>-<random>".
std::string MakeTempDir(const std::string& prefix);

struct RunResult {
  int exit_code = -1;   // -1 when the process did not exit normally
  int term_signal = 0;  // the signal that ended it, if any
  bool timed_out = false;
  std::string std_out;
  std::string std_err;
  std::vector<LogLine> log;

  // The log as "LEVEL message" lines with the line number of the closing
  // "[file(line)]" written as "*": "FATAL [f]data path empty.[ToolSetup.cpp(*)]".
  std::vector<std::string> Lines() const;
  // Index of the first log line whose message contains `part`; -1 if none.
  int Find(const std::string& part) const;
  // True when a line reads `line` in the form of Lines().
  bool Has(const std::string& line) const;
  // Standard error as lines, with the line number of a closing "[file(line)]"
  // written as "*".
  std::vector<std::string> StderrLines() const;
  // The whole log as "LEVEL message" lines, for failure output.
  std::string Dump() const;
};

// How ProductTree::Run starts the binary, besides the defaults.
struct RunOptions {
  // "NAME=value" entries added to the environment.
  std::vector<std::string> extra_env;
  // Standard error is a pipe whose reader has closed it before the start:
  // every write there fails (EPIPE, or death by SIGPIPE). std_err stays empty.
  bool stderr_reader_gone = false;
  // Above 0: the address space of the run is limited to this many bytes
  // (through util-linux's prlimit).
  unsigned long long address_space_limit = 0;
  // At or above 0: a directory descriptor the run starts in, and `program`
  // the binary to start, relative to it (instead of the tree's bin/Plinth).
  int working_directory = -1;
  std::string program;
};

class ProductTree {
 public:
  // `bin_name` is the name of the executable's directory below the root; it
  // may hold blanks and non-ASCII characters.
  explicit ProductTree(const std::string& bin_name = "bin");
  ~ProductTree();
  ProductTree(const ProductTree&) = delete;
  ProductTree& operator=(const ProductTree&) = delete;

  const std::string& root() const { return root_; }
  std::string Path(const std::string& relative) const { return root_ + "/" + relative; }
  const std::string& bin_dir() const { return bin_dir_; }
  std::string sys_dir() const { return Path("product/system"); }
  std::string data_dir() const { return Path("data"); }
  std::string tmp_dir() const { return Path("tmp"); }

  // Writes `content` to `path` (absolute, or relative to the root), creating
  // parent directories.
  void Write(const std::string& path, const std::string& content) const;
  void Remove(const std::string& path) const;
  bool Exists(const std::string& path) const;
  std::string Read(const std::string& path) const;

  // Writes InitSetup.xml with the given element texts.
  void WriteInitSetup(const std::string& data_dir, const std::string& sys_dir) const;

  // Path of a plug-in's file below the system directory's META_INFO: the
  // directory of "platform" is SYS. PluginFile("event.s", "x") is
  // <system>/META_INFO/event.s/runtime_script/x.
  std::string PluginFile(const std::string& plugin, const std::string& name) const;
  // Path of a plug-in's script, below runtime_script/db_init/SQLite/.
  std::string ScriptFile(const std::string& plugin, const std::string& name) const;

  // Writes the plug-in's DBConfig.xml: `sqlite` is the content of the SQLite
  // element under the product type "ProductA".
  void WriteDBConfig(const std::string& plugin, const std::string& sqlite) const;
  // Shorthand for the usual content: Schema, SQLiteFileName and `extra`.
  static std::string DBConfigBody(const std::string& schema, const std::string& file,
                                  const std::string& extra = "");

  // Writes SQLiteConfig.xml with one Config element per pair (PRAGMA, VALUE).
  void WriteSQLiteConfig(const std::vector<std::pair<std::string, std::string>>& settings) const;

  // Copies the built extension library `file_name` (e.g. "failing.func.sqlite.so")
  // into the system directory as `as` (default: the same name).
  void InstallExtension(const std::string& file_name, const std::string& as = "") const;

  // Runs `sql` on the existing database file `path` (relative to the data
  // directory, or absolute) opened with `key` (none when empty): the rows as
  // "a|b" lines, or "error: <message>".
  std::string Query(const std::string& path, const std::string& sql,
                    const std::string& key = kKey) const;

  // Runs the binary with `args`, the tree's TMPDIR and `extra_env`
  // ("NAME=value" entries); waits at most 120 s.
  RunResult Run(const std::vector<std::string>& args,
                const std::vector<std::string>& extra_env = {}) const;
  RunResult Run(const std::vector<std::string>& args, const RunOptions& options) const;

 private:
  std::string Absolute(const std::string& path) const;

  std::string root_;
  std::string bin_dir_;
};

}  // namespace plinth_e2e

#endif  // PLINTH_TESTS_E2E_HARNESS_H_
