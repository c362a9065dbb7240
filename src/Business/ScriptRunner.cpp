// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include "Business/ScriptRunner.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "Business/DatabaseFiles.h"
#include "Business/SqlText.h"
#include "Business/SqliteConnection.h"
#include "Common/SqlScan.h"
#include "Common/SqlSplitter.h"
#include "Common/TextFile.h"
#include "External/QuillBase.h"

namespace plinth {
namespace {

// How much of a script is read at a time.
constexpr std::size_t kBlockBytes = std::size_t{64} * 1024;
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

// How many characters of a failing statement its log line shows.
constexpr std::size_t kPreviewChars = 120;
// How much of a failing statement is masked and shown, in bytes: enough for
// the characters shown and one more, each up to four bytes long.
constexpr std::size_t kPreviewReach = 4 * (kPreviewChars + 1);

void LogScriptFailure(const LogSite& at, Script script, const SqliteError& e) {
  switch (script) {
    case Script::kPublicData:
      PLINTH_LOG_AT(at, 5, "[%s]create_public_data.sql exec fail,errorcode:%d,errinfo:%s[%s(%d)]",
                    e.code, e.text.c_str());
      break;
    case Script::kProductVersion:
      PLINTH_LOG_AT(at, 5, "[%s]ProductVersionToDB exec fail,errorcode:%d,errinfo:%s[%s(%d)]",
                    e.code, e.text.c_str());
      break;
    case Script::kCreateTables:
    case Script::kForOtherPlugin:
      PLINTH_LOG_AT(at, 5, "[%s]create_table fail,errorcode:%d,errinfo:%s[%s(%d)]", e.code,
                    e.text.c_str());
      break;
    case Script::kInitData:
      PLINTH_LOG_AT(at, 5, "[%s]init_data fail,errorcode:%d,errinfo:%s[%s(%d)]", e.code,
                    e.text.c_str());
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
// it begins and its first characters. A key's value is masked in both.
// `stream` ran the script.
void LogFailure(const LogSite& at, Script script, const std::string& path,
                const CScriptStream& stream, const SqliteError& error,
                const FailedStatement& failed) {
  const std::string& sql = stream.executed();
  const std::size_t begin = StatementBegin(sql, failed.from);
  const std::string_view statement = FailedStatementText(sql, begin, failed);
  LogScriptFailure(at, script, {error.code, LoggableScriptError(statement, error.text)});
  const std::string shown =
      Preview(LoggableScriptStatement(statement.substr(0, kPreviewReach)), kPreviewChars);
  const std::size_t line = stream.line_feeds_before() + LineOf(sql, begin);
  PLINTH_LOG_AT(at, 5, "[%s]%s failed at line %lu: %s[%s(%d)]", path.c_str(),
                static_cast<unsigned long>(line), shown.c_str());
}

// False, logged, when a read of `file` (opened from `path`) failed: what was
// read is not the whole script.
bool ReadWhole(const LogSite& at, const std::string& path, const CInputFile& file) {
  if (file.ReadError() == 0) return true;
  PLINTH_LOG_AT(at, 5, "[%s]sql file %s cannot be read to its end: %s[%s(%d)]", path.c_str(),
                std::strerror(file.ReadError()));
  return false;
}

// Reads `file` (opened from `path`) through for a NUL byte, at which SQLite
// would stop and report success: a script that holds one is refused before
// any of it runs (logged). Leaves `file` at its start.
bool HoldsNoNul(const LogSite& at, const std::string& path, const CInputFile& file) {
  std::string block;
  for (std::size_t offset = 0; file.Read(block, kBlockBytes) > 0; offset += block.size()) {
    const std::size_t nul = block.find('\0');
    if (nul != std::string::npos) {
      PLINTH_LOG_AT(at, 5, "[%s]sql file %s holds a NUL byte at offset %lu, not run[%s(%d)]",
                    path.c_str(), static_cast<unsigned long>(offset + nul));
      return false;
    }
  }
  if (!ReadWhole(at, path, file)) return false;
  file.Rewind();
  return true;
}

// What became of a script read and run in blocks.
enum class Streamed { kRan, kStatementFailed, kReadFailed };

// Adds `count` line feeds to `stream`, a block at a time.
bool AddLineFeeds(CScriptStream& stream, std::size_t count, SqliteError* error,
                  FailedStatement* failed) {
  static const std::string line_feeds(kBlockBytes, '\n');
  while (count > 0) {
    const std::size_t size = std::min(count, kBlockBytes);
    if (!stream.Add(std::string_view(line_feeds).substr(0, size), error, failed)) return false;
    count -= size;
  }
  return true;
}

// Reads `file` (opened from `path`) in blocks into `stream`, which runs each
// statement as soon as it is complete, and closes it at its end. A UTF-8
// byte-order mark at the start is skipped (it is not SQL), and the trailing
// line feeds are dropped as the whole-file reader drops them: line feeds are
// held back, as a count, until text follows them. Stops at the first failing
// statement (`*error` and `*failed` filled in); a failed read is logged, and
// the statements after it are not run.
Streamed StreamScript(const LogSite& at, const std::string& path, CInputFile& file,
                      CScriptStream& stream, SqliteError* error, FailedStatement* failed) {
  std::string block;
  std::size_t line_feeds = 0;  // held back until text follows them
  for (bool first = true; file.Read(block, kBlockBytes) > 0; first = false) {
    std::string_view text = block;
    if (first && text.substr(0, 3) == kByteOrderMark) text.remove_prefix(3);
    const std::size_t text_end = text.find_last_not_of('\n') + 1;  // 0: line feeds only
    if (text_end == 0) {
      line_feeds += text.size();
      continue;
    }
    if (!AddLineFeeds(stream, line_feeds, error, failed) ||
        !stream.Add(text.substr(0, text_end), error, failed)) {
      return Streamed::kStatementFailed;
    }
    line_feeds = text.size() - text_end;
  }
  if (!ReadWhole(at, path, file)) return Streamed::kReadFailed;
  file.Close();
  return stream.Finish(error, failed) ? Streamed::kRan : Streamed::kStatementFailed;
}

// Runs the plug-in's `script` at `path` (UTF-8) when it exists; a missing
// create_tables.sql or init_data.sql is a notice.
bool RunIfPresent(const LogSite& at, Script script, sqlite3* conn, const std::string& path) {
  const std::string local = Quill::Base::StringUtil::UTF82Local(path);
  bool exists = false;
  if (!ExistsOrFail(at, local, Links::kFollow, &exists)) return false;
  if (exists) return RunScript(at, script, conn, local);
  if (script == Script::kCreateTables) {
    PLINTH_LOG_AT(at, 4, "[%s]Not exists create_tables.sql[%s(%d)]");
  } else {
    PLINTH_LOG_AT(at, 4, "[%s]Not exists init_data.sql[%s(%d)]");
  }
  return true;
}

}  // namespace

bool RunScript(const LogSite& at, Script script, sqlite3* conn, const std::string& path) {
  CInputFile file;
  if (!OpenTextFile(at, path, file) || !HoldsNoNul(at, path, file)) return false;
  CScriptStream stream(conn);
  SqliteError error;
  FailedStatement failed;
  const Streamed streamed = StreamScript(at, path, file, stream, &error, &failed);
  if (streamed == Streamed::kStatementFailed) LogFailure(at, script, path, stream, error, failed);
  return streamed == Streamed::kRan;
}

bool RunPluginScripts(const LogSite& at, sqlite3* conn, const std::string& scripts_dir) {
  return RunIfPresent(at, Script::kCreateTables, conn, scripts_dir + "create_tables.sql") &&
         RunIfPresent(at, Script::kInitData, conn, scripts_dir + "init_data.sql");
}

bool RunScriptsForOtherPlugins(const LogSite& at, const std::map<std::string, sqlite3*>& conns,
                               const std::map<std::string, std::vector<std::string>>& scripts) {
  for (const auto& [name, conn] : conns) {
    if (conn == nullptr) {
      PLINTH_LOG_AT(at, 5, "[%s]%s other_conn is nullptr[%s(%d)]", name.c_str());
      return false;
    }
    const auto listed = scripts.find(name);
    if (listed == scripts.end()) {
      PLINTH_LOG_AT(at, 5, "[%s]Not support sql file for plugin %s[%s(%d)]", name.c_str());
      return false;
    }
    for (const std::string& script : listed->second) {
      bool exists = false;
      if (!ExistsOrFail(at, script, Links::kFollow, &exists)) return false;
      if (!exists) {
        PLINTH_LOG_AT(at, 5, "[%s]Not exists sql file!%s[%s(%d)]", script.c_str());
        return false;
      }
      if (!RunScript(at, Script::kForOtherPlugin, conn, script)) return false;
    }
  }
  return true;
}

}  // namespace plinth
