// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include "Business/ScriptRunner.h"

#include <sqlcipher/sqlite3.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string_view>

#include "Business/DatabaseFiles.h"
#include "Business/SqlText.h"
#include "Business/SqliteConnection.h"
#include "Common/ErrorText.h"
#include "Common/ProgressTimer.h"
#include "Common/SqlScan.h"
#include "Common/SqlSplitter.h"
#include "Common/TextFile.h"
#include "Config/ProductLayout.h"
#include "QuillBase.h"

namespace plinth {
namespace {

// How much of a script is read at a time.
constexpr std::size_t kBlockBytes = std::size_t{64} * 1024;
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

// How long a script runs before its progress is logged, and then how often.
constexpr std::chrono::seconds kProgressPeriod{5};

// How many characters of a failing statement its log line shows.
constexpr std::size_t kPreviewChars = 120;
// How much of a failing statement is masked and shown, in bytes: enough for
// the characters shown and one more, each up to four bytes long.
constexpr std::size_t kPreviewReach = 4 * (kPreviewChars + 1);

void LogScriptFailure(const LogSite& at, Script script, const SqliteError& e) {
  switch (script) {
    case Script::kPublicData:
      PLINTH_LOG_AT(at, LogLevel::kError, "[%s]create_public_data.sql exec fail,%s[%s(%d)]",
                    e.Describe().c_str());
      break;
    case Script::kProductVersion:
      PLINTH_LOG_AT(at, LogLevel::kError, "[%s]ProductVersionToDB exec fail,%s[%s(%d)]",
                    e.Describe().c_str());
      break;
    case Script::kCreateTables:
    case Script::kForOtherPlugin:
      PLINTH_LOG_AT(at, LogLevel::kError, "[%s]create_table fail,%s[%s(%d)]", e.Describe().c_str());
      break;
    case Script::kInitData:
      PLINTH_LOG_AT(at, LogLevel::kError, "[%s]init_data fail,%s[%s(%d)]", e.Describe().c_str());
      break;
  }
}

// The statement of `sql` that failed, from its first token at `begin` to its
// end: where SQLite told it for a statement that compiled, else the first ";"
// that ends a statement as sqlite3_complete reads it, else the text's end.
std::string_view FailedStatementText(std::string_view sql, std::size_t begin,
                                     const FailedStatement& failed) {
  const std::string_view rest = sql.substr(begin);
  const std::size_t length = failed.end == std::string::npos ? CSqlSplitter::FirstStatementEnd(rest)
                                                             : std::max(failed.end, begin) - begin;
  return rest.substr(0, length);
}

// Logs the failure of `script` at `path`: its failure line with SQLite's
// error, then which statement of the file failed, the line of the file on which
// it begins and its first characters. A key's value is masked in both. `sql`
// is the text whose execution failed, which begins with a statement's first
// byte and follows `line_feeds_before` line feeds of the file.
void LogFailure(const LogSite& at, Script script, const std::string& path, const std::string& sql,
                std::size_t line_feeds_before, const SqliteError& error,
                const FailedStatement& failed) {
  const std::size_t begin = StatementBegin(sql, failed.from);
  const std::string_view statement = FailedStatementText(sql, begin, failed);
  LogScriptFailure(at, script, {error.code, LoggableScriptError(statement, error.text)});
  const std::string shown =
      Preview(LoggableScriptStatement(statement.substr(0, kPreviewReach)), kPreviewChars);
  const std::size_t line = line_feeds_before + LineOf(sql, begin);
  PLINTH_LOG_AT(at, LogLevel::kError, "[%s]%s failed at line %lu: %s[%s(%d)]", path.c_str(),
                static_cast<unsigned long>(line), shown.c_str());
}

// False, logged, when a read of `file` (opened from `path`) failed: what was
// read is not the whole script.
bool ReadWhole(const LogSite& at, const std::string& path, const CInputFile& file) {
  if (file.ReadError() == 0) return true;
  PLINTH_LOG_AT(at, LogLevel::kError, "[%s]sql file %s cannot be read to its end: %s[%s(%d)]",
                path.c_str(), ErrnoMessage(file.ReadError()).c_str());
  return false;
}

// Reads `file` (opened from `path`) through for a NUL byte, at which SQLite
// would stop and report success: a script that holds one is refused before
// any of it runs (logged). Leaves `file` at its start.
bool HoldsNoNul(const LogSite& at, const std::string& path, CInputFile& file) {
  std::string block;
  for (std::size_t offset = 0; file.Read(block, kBlockBytes) > 0; offset += block.size()) {
    const std::size_t nul = block.find('\0');
    if (nul != std::string::npos) {
      PLINTH_LOG_AT(at, LogLevel::kError,
                    "[%s]sql file %s holds a NUL byte at offset %lu, not run[%s(%d)]", path.c_str(),
                    static_cast<unsigned long>(offset + nul));
      return false;
    }
  }
  if (!ReadWhole(at, path, file)) return false;
  // A file that cannot go back to its start is told as a failed read.
  return file.Rewind() || ReadWhole(at, path, file);
}

// The progress of one script that RunScript runs: once the script has run
// for kProgressPeriod, a line at `at` at most once every period while it
// runs, with the bytes read of the file's size, the statements completed and
// the seconds since it started. A script that ends sooner logs none.
class CScriptProgress {
 public:
  using Clock = CProgressTimer::Clock;

  CScriptProgress(const LogSite& at, const std::string& path, Clock::time_point start,
                  const CScriptStream& stream)
      : at_(at), path_(path), stream_(stream), timer_(start, kProgressPeriod) {}

  // The size of the file the script is read from; -1 when it cannot be told.
  void SetSize(long size) { size_ = size; }
  void AddRead(std::size_t bytes) { read_ += bytes; }

  // Logs the progress when a line is due.
  void Tick() {
    const Clock::time_point now = Clock::now();
    if (!timer_.Due(now)) return;
    PLINTH_LOG_AT(at_, LogLevel::kInfo,
                  "[%s]%s still running: %llu of %ld bytes read, %llu statements completed, %lld "
                  "s so far[%s(%d)]",
                  path_.c_str(), static_cast<unsigned long long>(read_), size_,
                  static_cast<unsigned long long>(stream_.completed()), timer_.Seconds(now));
  }

 private:
  const LogSite& at_;
  const std::string& path_;
  const CScriptStream& stream_;
  CProgressTimer timer_;
  long size_ = -1;
  std::size_t read_ = 0;
};

// Hands `count` line feeds to `add`, a block at a time; false when it does.
bool AddLineFeeds(std::size_t count, const std::function<bool(std::string_view)>& add) {
  static const std::string line_feeds(kBlockBytes, '\n');
  while (count > 0) {
    const std::size_t size = std::min(count, kBlockBytes);
    if (!add(std::string_view(line_feeds).substr(0, size))) return false;
    count -= size;
  }
  return true;
}

// What became of a script read in blocks.
enum class Streamed { kRead, kStopped, kReadFailed };

// Reads `file` (opened from `path`) in blocks to its end and hands its text
// to `add`, piece by piece, as the whole-file reader would read it: a UTF-8
// byte-order mark at the start is skipped (it is not SQL), and the trailing
// line feeds are dropped: line feeds are held back, as a count, until text
// follows them. `progress`, when given, is told of each block and ticked
// after it. Stops when `add` answers false (kStopped); a failed read is
// logged (kReadFailed).
Streamed ReadScriptText(const LogSite& at, const std::string& path, CInputFile& file,
                        const std::function<bool(std::string_view)>& add,
                        CScriptProgress* progress) {
  std::string block;
  std::size_t line_feeds = 0;  // held back until text follows them
  for (bool first = true; file.Read(block, kBlockBytes) > 0; first = false) {
    if (progress != nullptr) progress->AddRead(block.size());
    std::string_view text = block;
    if (first && text.substr(0, 3) == kByteOrderMark) text.remove_prefix(3);
    const std::size_t text_end = text.find_last_not_of('\n') + 1;  // 0: line feeds only
    if (text_end == 0) {
      line_feeds += text.size();
      continue;
    }
    if (!AddLineFeeds(line_feeds, add) || !add(text.substr(0, text_end))) {
      return Streamed::kStopped;
    }
    line_feeds = text.size() - text_end;
    if (progress != nullptr) progress->Tick();
  }
  return ReadWhole(at, path, file) ? Streamed::kRead : Streamed::kReadFailed;
}

// Reads `file` (opened from `path`) into `stream`, which runs each statement
// as soon as it is complete, and closes it at its end. Stops at the first
// failing statement (`*error` and `*failed` filled in, kStopped); a failed
// read is logged, and the statements after it are not run.
Streamed StreamScript(const LogSite& at, const std::string& path, CInputFile& file,
                      CScriptStream& stream, CScriptProgress& progress, SqliteError* error,
                      FailedStatement* failed) {
  const Streamed read = ReadScriptText(
      at, path, file, [&](std::string_view text) { return stream.Add(text, error, failed); },
      &progress);
  if (read != Streamed::kRead) return read;
  file.Close();
  return stream.Finish(error, failed) ? Streamed::kRead : Streamed::kStopped;
}

// Whether the text of a script that `splitter` has read whole is left open at
// its end by SQLite's completeness test, whatever follows: a literal, quoted
// name or trigger body not closed. Not a statement that only lacks its ";" (a
// run runs it), nor a comment left open (a run skips it).
bool LeftOpen(const CSqlSplitter& splitter) {
  // The ";" alone, then after the end of a block comment.
  for (const char* closing : {"\n;", "*/\n;"}) {
    if (splitter.EndsCompleteAfter(closing)) return false;
  }
  return true;
}

// Reads `file` (opened from `path`), the text of `script`, as RunScript
// reads it, through the statement splitter, and tells whether it ends
// complete: SQLite's completeness test, where a last statement without its
// ";" is complete when SQLite's parser finds it whole. One that does not end
// complete is logged as RunScript logs its last statement cut short: with
// SQLite's "incomplete input".
bool ReadsComplete(const LogSite& at, Script script, const std::string& path, CInputFile& file) {
  CSqlSplitter splitter;
  ScriptPart part;
  const auto add = [&](std::string_view text) {
    splitter.Add(text);
    splitter.TakeComplete(&part);  // what is complete is done with
    return true;
  };
  if (ReadScriptText(at, path, file, add, nullptr) != Streamed::kRead) return false;
  if (splitter.EndsComplete()) return true;
  const bool left_open = LeftOpen(splitter);
  if (!splitter.TakeRest(&part)) return true;  // blanks and comments
  if (!left_open && !EndsBeforeItsStatement(part.text)) return true;
  LogFailure(at, script, path, part.text, part.line_feeds_before,
             {SQLITE_ERROR, "incomplete input"}, FailedStatement{});
  return false;
}

// What is done with a script that exists: run, or checked.
using ScriptUse = std::function<bool(Script, const std::string& local_path)>;

// Hands the plug-in's `script` at `path` (UTF-8) to `use` when it exists; a
// missing create_tables.sql or init_data.sql is a notice.
bool UseIfPresent(const LogSite& at, Script script, const std::string& path, const ScriptUse& use) {
  const std::string local = Quill::Base::StringUtil::UTF82Local(path);
  bool exists = false;
  if (!ExistsOrFail(at, local, Links::kFollow, &exists)) return false;
  if (exists) return use(script, local);
  if (script == Script::kCreateTables) {
    PLINTH_LOG_AT(at, LogLevel::kWarn, "[%s]Not exists create_tables.sql[%s(%d)]");
  } else {
    PLINTH_LOG_AT(at, LogLevel::kWarn, "[%s]Not exists init_data.sql[%s(%d)]");
  }
  return true;
}

// Hands the plug-in's create_tables.sql and then its init_data.sql from
// `scripts_dir` to `use`, where they exist.
bool UsePluginScripts(const LogSite& at, const std::string& scripts_dir, const ScriptUse& use) {
  return UseIfPresent(at, Script::kCreateTables, scripts_dir + kCreateTablesScript, use) &&
         UseIfPresent(at, Script::kInitData, scripts_dir + kInitDataScript, use);
}

// Hands the scripts that `scripts` lists under `name` to `use`, in list
// order; every one must exist, and `scripts` must list the name.
bool UseScriptsFor(const LogSite& at, const std::string& name,
                   const std::map<std::string, std::vector<std::string>>& scripts,
                   const ScriptUse& use) {
  const auto listed = scripts.find(name);
  if (listed == scripts.end()) {
    PLINTH_LOG_AT(at, LogLevel::kError, "[%s]Not support sql file for plugin %s[%s(%d)]",
                  name.c_str());
    return false;
  }
  for (const std::string& script : listed->second) {
    bool exists = false;
    if (!ExistsOrFail(at, script, Links::kFollow, &exists)) return false;
    if (!exists) {
      PLINTH_LOG_AT(at, LogLevel::kError, "[%s]Not exists sql file!%s[%s(%d)]", script.c_str());
      return false;
    }
    if (!use(Script::kForOtherPlugin, script)) return false;
  }
  return true;
}

}  // namespace

bool RunScript(const LogSite& at, Script script, sqlite3* conn, const std::string& path) {
  const CScriptProgress::Clock::time_point start = CScriptProgress::Clock::now();
  CInputFile file;
  if (!OpenTextFile(at, path, file) || !HoldsNoNul(at, path, file)) return false;
  CScriptStream stream(conn);
  CScriptProgress progress(at, path, start, stream);
  progress.SetSize(file.Measure());
  const CStatementTicks ticks(conn, [&progress] { progress.Tick(); });
  SqliteError error;
  FailedStatement failed;
  const Streamed streamed = StreamScript(at, path, file, stream, progress, &error, &failed);
  ticks.RethrowCaught();
  if (streamed == Streamed::kStopped) {
    LogFailure(at, script, path, stream.executed(), stream.line_feeds_before(), error, failed);
  }
  return streamed == Streamed::kRead;
}

bool RunPluginScripts(const LogSite& at, sqlite3* conn, const std::string& scripts_dir) {
  return UsePluginScripts(at, scripts_dir, [&](Script script, const std::string& path) {
    return RunScript(at, script, conn, path);
  });
}

bool RunScriptsForOtherPlugins(const LogSite& at, const std::map<std::string, sqlite3*>& conns,
                               const std::map<std::string, std::vector<std::string>>& scripts) {
  for (const auto& [name, conn] : conns) {
    if (conn == nullptr) {
      PLINTH_LOG_AT(at, LogLevel::kError, "[%s]%s other_conn is nullptr[%s(%d)]", name.c_str());
      return false;
    }
    const auto run = [&at, conn = conn](Script script, const std::string& path) {
      return RunScript(at, script, conn, path);
    };
    if (!UseScriptsFor(at, name, scripts, run)) return false;
  }
  return true;
}

bool CheckScript(const LogSite& at, Script script, const std::string& path) {
  CInputFile file;
  return OpenTextFile(at, path, file) && HoldsNoNul(at, path, file) &&
         ReadsComplete(at, script, path, file);
}

bool CheckPluginScripts(const LogSite& at, const std::string& scripts_dir) {
  return UsePluginScripts(at, scripts_dir, [&](Script script, const std::string& path) {
    return CheckScript(at, script, path);
  });
}

bool CheckScriptsForOtherPlugins(const LogSite& at, const std::vector<std::string>& names,
                                 const std::map<std::string, std::vector<std::string>>& scripts) {
  const auto check = [&](Script script, const std::string& path) {
    return CheckScript(at, script, path);
  };
  for (const std::string& name : names) {
    if (!UseScriptsFor(at, name, scripts, check)) return false;
  }
  return true;
}

}  // namespace plinth
