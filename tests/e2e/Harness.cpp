// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include "e2e/Harness.h"

#include <sqlcipher/sqlite3.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

extern char** environ;

namespace plinth_e2e {

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

ProductTree::ProductTree(const std::string& bin_name) : ProductFiles(bin_name) {
  std::filesystem::create_directories(tmp_dir());
  std::filesystem::copy_file(PLINTH_BINARY, bin_dir() + "/Plinth");
  Write(bin_dir() + "/META_INFO/plinth.log4cxx.properties",
        plinth_test::LogProperties(Path("plinth.log")));
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
  // The key by a statement of its own: SQLCipher answers it with a row "ok",
  // which is no row of the query.
  const std::string keying = key.empty() ? "" : "PRAGMA key = '" + key + "';";
  char* message = nullptr;
  if (sqlite3_exec(db, keying.c_str(), nullptr, nullptr, &message) != SQLITE_OK ||
      sqlite3_exec(db, sql.c_str(), on_row, &out, &message) != SQLITE_OK) {
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
  std::vector<std::string> argv;
  if (options.address_space_limit > 0) {
    argv = {"prlimit", "--as=" + std::to_string(options.address_space_limit), "--"};
  }
  argv.push_back(options.working_directory >= 0 ? options.program : bin_dir() + "/Plinth");
  argv.insert(argv.end(), args.begin(), args.end());

  // The test's environment, less what the run sets itself: TMPDIR and the
  // names of `extra_env`, which replace the inherited values.
  std::vector<std::string> replaced = {"TMPDIR="};
  for (const std::string& entry : options.extra_env) {
    replaced.push_back(entry.substr(0, entry.find('=') + 1));
  }
  std::vector<std::string> envp;
  for (char** e = environ; *e != nullptr; ++e) {
    const auto named = [e](const std::string& prefix) {
      return std::strncmp(*e, prefix.c_str(), prefix.size()) == 0;
    };
    if (std::none_of(replaced.begin(), replaced.end(), named)) envp.push_back(*e);
  }
  envp.push_back("TMPDIR=" + tmp_dir());
  envp.insert(envp.end(), options.extra_env.begin(), options.extra_env.end());

  plinth_test::ProcessOptions process;
  process.stderr_reader_gone = options.stderr_reader_gone;
  process.working_directory = options.working_directory;
  process.kill_when_exists = options.kill_when_exists;
  RunResult result;
  static_cast<plinth_test::ProcessResult&>(result) = plinth_test::RunProcess(argv, envp, process);
  if (!options.keep_log) result.log = ReadLog();
  return result;
}

std::vector<LogLine> ProductTree::ReadLog() const {
  std::vector<LogLine> log = plinth_test::ParseLog(Read("plinth.log"));
  Remove("plinth.log");
  return log;
}

}  // namespace plinth_e2e
