#include "e2e/Harness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sqlcipher/sqlite3.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

extern char** environ;

namespace plinth_e2e {
namespace fs = std::filesystem;
namespace {

constexpr auto kRunTimeout = std::chrono::seconds(120);

// Reads `fd` until end of file or `deadline`; false on timeout.
bool DrainPipe(int fd, std::string& out, std::chrono::steady_clock::time_point deadline) {
  char buf[4096];
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
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

}  // namespace

std::string MakeTempDir(const std::string& prefix) {
  std::random_device random;
  const fs::path base = fs::temp_directory_path();
  for (;;) {
    const fs::path dir =
        base / (prefix + "-" + std::to_string(::getpid()) + "-" + std::to_string(random()));
    if (fs::create_directory(dir)) return dir.string();
  }
}

std::vector<LogLine> ParseLog(const std::string& text) {
  std::vector<LogLine> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(pos, end - pos);
    const std::size_t blank = line.find(' ');
    if (blank == std::string::npos) {
      lines.push_back({line, ""});
    } else {
      lines.push_back({line.substr(0, blank), line.substr(blank + 1)});
    }
    pos = end + 1;
  }
  return lines;
}

std::string WithoutLineNumber(const std::string& message) {
  if (message.size() < 2 || message.compare(message.size() - 2, 2, ")]") != 0) return message;
  const std::size_t open = message.rfind('(');
  if (open == std::string::npos) return message;
  const std::string digits = message.substr(open + 1, message.size() - open - 3);
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) {
    return message;
  }
  return message.substr(0, open) + "(*)]";
}

std::vector<std::string> RunResult::Lines() const {
  std::vector<std::string> lines;
  for (const LogLine& line : log)
    lines.push_back(line.level + " " + WithoutLineNumber(line.message));
  return lines;
}

int RunResult::Find(const std::string& part) const {
  for (std::size_t i = 0; i < log.size(); ++i) {
    if (log[i].message.find(part) != std::string::npos) return static_cast<int>(i);
  }
  return -1;
}

std::vector<std::string> RunResult::StderrLines() const {
  std::vector<std::string> lines;
  for (std::size_t pos = 0; pos < std_err.size();) {
    std::size_t end = std_err.find('\n', pos);
    if (end == std::string::npos) end = std_err.size();
    lines.push_back(WithoutLineNumber(std_err.substr(pos, end - pos)));
    pos = end + 1;
  }
  return lines;
}

bool RunResult::Has(const std::string& line) const {
  const std::vector<std::string> all = Lines();
  return std::find(all.begin(), all.end(), line) != all.end();
}

std::string RunResult::Dump() const {
  std::string text = "exit code " + std::to_string(exit_code) + "\nstdout:\n" + std_out +
                     "stderr:\n" + std_err + "log:\n";
  for (const LogLine& line : log) text += line.level + " " + line.message + "\n";
  return text;
}

ProductTree::ProductTree(const std::string& bin_name)
    : root_(MakeTempDir("plinth-e2e")), bin_dir_(root_ + "/" + bin_name) {
  fs::create_directories(bin_dir_ + "/META_INFO");
  fs::create_directories(sys_dir());
  fs::create_directories(tmp_dir());
  fs::copy_file(PLINTH_BINARY, bin_dir_ + "/Plinth");
  Write(bin_dir_ + "/META_INFO/plinth.log4cxx.properties",
        "log4j.rootLogger=TRACE, file\n"
        "log4j.appender.file=org.apache.log4j.FileAppender\n"
        "log4j.appender.file.File=" +
            Path("plinth.log") +
            "\n"
            "log4j.appender.file.Append=true\n"
            "log4j.appender.file.layout=org.apache.log4j.PatternLayout\n"
            "log4j.appender.file.layout.ConversionPattern=%p %m%n\n");
  WriteInitSetup(data_dir(), sys_dir());
  Write("product/Product.xml",
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        "<ProductDescription><Product>ProductA</Product></ProductDescription>\n");
  WriteSQLiteConfig({{"key", kKey}});
  Write(bin_dir_ + "/META_INFO/db_init/SQLite/create_public_data.sql",
        "CREATE TABLE dictionary(code TEXT PRIMARY KEY, label TEXT);\n"
        "INSERT INTO dictionary VALUES('a', 'Alpha');\n");
  Write(sys_dir() + "/META_INFO/ProductVersionToDB.sql",
        "CREATE TABLE product_version(version TEXT);\n"
        "INSERT INTO product_version VALUES('1.0');\n");
  WriteDBConfig("platform", DBConfigBody("platform", "platform.db"));
  WriteDBConfig("event.s", DBConfigBody("event", "event.db"));
  InstallExtension("public.func.sqlite.so");
}

ProductTree::~ProductTree() {
  if (std::getenv("PLINTH_KEEP_TEST_TREES") != nullptr) return;
  std::error_code ec;
  fs::remove_all(root_, ec);
}

std::string ProductTree::Absolute(const std::string& path) const {
  return !path.empty() && path[0] == '/' ? path : Path(path);
}

void ProductTree::Write(const std::string& path, const std::string& content) const {
  const fs::path file(Absolute(path));
  fs::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << content;
  if (!out) throw std::runtime_error("cannot write " + file.string());
}

void ProductTree::Remove(const std::string& path) const { fs::remove_all(Absolute(path)); }

bool ProductTree::Exists(const std::string& path) const {
  std::error_code ec;
  return fs::exists(fs::symlink_status(Absolute(path), ec));
}

std::string ProductTree::Read(const std::string& path) const {
  std::ifstream in(Absolute(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void ProductTree::WriteInitSetup(const std::string& data_dir, const std::string& sys_dir) const {
  Write(bin_dir_ + "/META_INFO/InitSetup.xml",
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Configs>\n  <SQLiteDataPath>" + data_dir +
            "</SQLiteDataPath>\n  <SYSPath>" + sys_dir + "</SYSPath>\n</Configs>\n");
}

std::string ProductTree::PluginFile(const std::string& plugin, const std::string& name) const {
  const std::string dir = plugin == "platform" ? "SYS" : plugin;
  return sys_dir() + "/META_INFO/" + dir + "/runtime_script/" + name;
}

std::string ProductTree::ScriptFile(const std::string& plugin, const std::string& name) const {
  return PluginFile(plugin, "db_init/SQLite/" + name);
}

void ProductTree::WriteDBConfig(const std::string& plugin, const std::string& sqlite) const {
  Write(PluginFile(plugin, "DBConfig.xml"),
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<DBConfig>\n  <ProductA>\n    <SQLite>" +
            sqlite + "</SQLite>\n  </ProductA>\n</DBConfig>\n");
}

std::string ProductTree::DBConfigBody(const std::string& schema, const std::string& file,
                                      const std::string& extra) {
  return "<Schema>" + schema + "</Schema><SQLiteFileName>" + file + "</SQLiteFileName>" + extra;
}

void ProductTree::WriteSQLiteConfig(
    const std::vector<std::pair<std::string, std::string>>& settings) const {
  std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Configs>\n";
  for (const auto& [name, value] : settings) {
    xml += "  <Config PRAGMA=\"" + name + "\" VALUE=\"" + value + "\"/>\n";
  }
  Write(bin_dir_ + "/META_INFO/SQLiteConf/SQLiteConfig.xml", xml + "</Configs>\n");
}

void ProductTree::InstallExtension(const std::string& file_name, const std::string& as) const {
  const std::string target = sys_dir() + "/" + (as.empty() ? file_name : as);
  fs::copy_file(std::string(PLINTH_SQLITE_EXT_DIR) + "/" + file_name, target,
                fs::copy_options::overwrite_existing);
}

std::string ProductTree::Query(const std::string& path, const std::string& sql,
                               const std::string& key) const {
  const std::string file = !path.empty() && path[0] == '/' ? path : data_dir() + "/" + path;
  sqlite3* db = nullptr;
  std::string out;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    out = std::string("error: ") + sqlite3_errmsg(db);
    sqlite3_close(db);
    return out;
  }
  auto on_row = [](void* sink, int columns, char** values, char**) {
    std::string& text = *static_cast<std::string*>(sink);
    for (int i = 0; i < columns; ++i) {
      if (i > 0) text += "|";
      text += values[i] != nullptr ? values[i] : "NULL";
    }
    text += "\n";
    return 0;
  };
  std::string statements = sql;
  if (!key.empty()) statements = "PRAGMA key = '" + key + "';" + statements;
  char* message = nullptr;
  if (sqlite3_exec(db, statements.c_str(), on_row, &out, &message) != SQLITE_OK) {
    out = std::string("error: ") + (message != nullptr ? message : "?");
  }
  sqlite3_free(message);
  sqlite3_close(db);
  return out;
}

RunResult ProductTree::Run(const std::vector<std::string>& args,
                           const std::vector<std::string>& extra_env) const {
  RunOptions options;
  options.extra_env = extra_env;
  return Run(args, options);
}

RunResult ProductTree::Run(const std::vector<std::string>& args, const RunOptions& options) const {
  const std::string binary =
      options.working_directory >= 0 ? options.program : bin_dir_ + "/Plinth";
  const std::string limit = "--as=" + std::to_string(options.address_space_limit);
  std::vector<char*> argv;
  if (options.address_space_limit > 0) {
    for (const char* word : {"prlimit", limit.c_str(), "--"})
      argv.push_back(const_cast<char*>(word));
  }
  argv.push_back(const_cast<char*>(binary.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  const std::string tmpdir = "TMPDIR=" + tmp_dir();
  std::vector<char*> envp;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::strncmp(*e, "TMPDIR=", 7) != 0) envp.push_back(*e);
  }
  envp.push_back(const_cast<char*>(tmpdir.c_str()));
  for (const std::string& entry : options.extra_env) {
    envp.push_back(const_cast<char*>(entry.c_str()));
  }
  envp.push_back(nullptr);

  // Standard output goes to an anonymous file, read once the run has ended.
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
  const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(err_pipe[1]);
  if (spawned != 0) {
    ::close(out_file);
    if (!options.stderr_reader_gone) ::close(err_pipe[0]);
    throw std::runtime_error(std::string("cannot start ") + argv[0] + ": " +
                             std::strerror(spawned));
  }

  RunResult result;
  const auto deadline = std::chrono::steady_clock::now() + kRunTimeout;
  if (options.stderr_reader_gone) {
    result.timed_out = !AwaitExit(pid, deadline);
  } else {
    result.timed_out = !DrainPipe(err_pipe[0], result.std_err, deadline);
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
  result.log = ParseLog(Read("plinth.log"));
  Remove("plinth.log");
  return result;
}

}  // namespace plinth_e2e
