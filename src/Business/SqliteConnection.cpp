// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include "Business/SqliteConnection.h"

#include <sqlcipher/sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace plinth {
namespace {

// The error code and text of the last failed call on `conn`.
SqliteError LastError(sqlite3* conn) {
  const char* text = sqlite3_errmsg(conn);
  return {sqlite3_errcode(conn), text != nullptr ? text : ""};
}

// SQLite's whitespace, which sqlite3_exec skips after each statement.
bool IsSqlBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Steps `stmt` to its end, rows ignored, and finalizes it; the result of the
// finalize, which is the statement's error when a step failed.
int RunToEnd(sqlite3_stmt* stmt) {
  while (sqlite3_step(stmt) == SQLITE_ROW) {
  }
  return sqlite3_finalize(stmt);
}

}  // namespace

std::string SqliteError::Describe() const {
  return "errorcode:" + std::to_string(code) + "," + DescribeText();
}

std::string SqliteError::DescribeText() const { return "errinfo:" + text; }

bool IsNotADatabase(const SqliteError& error) { return (error.code & 0xff) == SQLITE_NOTADB; }

bool OpenDatabase(const std::string& path, sqlite3** conn, SqliteError* err) {
  if (sqlite3_open(path.c_str(), conn) == SQLITE_OK) return true;
  *err = LastError(*conn);
  return false;
}

bool OpenInMemoryReadOnly(sqlite3** conn, SqliteError* err) {
  if (sqlite3_open_v2(":memory:", conn, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr) ==
      SQLITE_OK) {
    return true;
  }
  *err = LastError(*conn);
  return false;
}

std::string ImmutableFileUri(const std::string& path) {
  // An absolute path follows an empty authority ("file:///data/x.db"), so
  // that one beginning with "//" is no authority; any other stands alone.
  std::string uri = !path.empty() && path[0] == '/' ? "file://" : "file:";
  for (const char c : path) {
    if (c == '%' || c == '?' || c == '#') {
      static const char kHex[] = "0123456789ABCDEF";
      const auto byte = static_cast<unsigned char>(c);
      uri += '%';
      uri += kHex[byte >> 4];
      uri += kHex[byte & 0xf];
    } else {
      uri += c;
    }
  }
  return uri + "?mode=ro&immutable=1";
}

bool Execute(sqlite3* conn, const char* sql, SqliteError* err) {
  if (sqlite3_exec(conn, sql, nullptr, nullptr, nullptr) == SQLITE_OK) return true;
  *err = LastError(conn);
  return false;
}

bool ExecuteScript(sqlite3* conn, const char* sql, SqliteError* err, FailedStatement* failed,
                   std::size_t* completed) {
  const char* rest = sql;
  while (*rest != '\0') {
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(conn, rest, -1, &stmt, &tail) != SQLITE_OK) {
      *err = LastError(conn);
      *failed = {static_cast<std::size_t>(rest - sql), std::string::npos};
      return false;
    }
    if (stmt != nullptr && RunToEnd(stmt) != SQLITE_OK) {
      *err = LastError(conn);
      *failed = {static_cast<std::size_t>(rest - sql), static_cast<std::size_t>(tail - sql)};
      return false;
    }
    // A text of blanks and comments compiles to no statement.
    rest = tail;
    if (stmt != nullptr) {
      if (completed != nullptr) ++*completed;
      while (IsSqlBlank(*rest)) ++rest;
    }
  }
  return true;
}

bool CScriptStream::Add(std::string_view text, SqliteError* err, FailedStatement* failed) {
  splitter_.Add(text);
  return !splitter_.TakeComplete(&executed_) || Run(err, failed);
}

bool CScriptStream::Finish(SqliteError* err, FailedStatement* failed) {
  return !splitter_.TakeRest(&executed_) || Run(err, failed);
}

bool CScriptStream::Run(SqliteError* err, FailedStatement* failed) {
  return ExecuteScript(conn_, executed_.text.c_str(), err, failed, &completed_);
}

CStatementTicks::CStatementTicks(sqlite3* conn, std::function<void()> tick)
    : conn_(conn), tick_(std::move(tick)) {
  // A thousand steps take microseconds: reading the clock that often costs
  // nothing that can be measured.
  sqlite3_progress_handler(conn_, 1000, &CStatementTicks::OnProgress, this);
}

CStatementTicks::~CStatementTicks() { sqlite3_progress_handler(conn_, 0, nullptr, nullptr); }

void CStatementTicks::RethrowCaught() const {
  if (caught_) std::rethrow_exception(caught_);
}

int CStatementTicks::OnProgress(void* self) noexcept {
  auto* ticks = static_cast<CStatementTicks*>(self);
  if (ticks->caught_) return 1;
  try {
    ticks->tick_();
    return 0;
  } catch (...) {
    ticks->caught_ = std::current_exception();
    return 1;
  }
}

bool EndsBeforeItsStatement(const std::string& sql) {
  sqlite3* conn = nullptr;
  bool incomplete = false;
  if (sqlite3_open(":memory:", &conn) == SQLITE_OK) {
    sqlite3_stmt* stmt = nullptr;
    // The parser's own words when the text ends inside a statement.
    incomplete = sqlite3_prepare_v2(conn, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK &&
                 std::string(sqlite3_errmsg(conn)) == "incomplete input";
    sqlite3_finalize(stmt);
  }
  sqlite3_close(conn);
  return incomplete;
}

bool LibraryEncrypts(sqlite3* conn) {
  bool answered = false;
  auto on_row = [](void* flag, int columns, char** values, char**) {
    if (columns > 0 && values[0] != nullptr) *static_cast<bool*>(flag) = true;
    return 0;
  };
  sqlite3_exec(conn, "PRAGMA cipher_version;", on_row, &answered, nullptr);
  return answered;
}

bool EnableExtensionLoading(sqlite3* conn, SqliteError* err) {
  if (sqlite3_enable_load_extension(conn, 1) == SQLITE_OK) return true;
  *err = LastError(conn);
  return false;
}

bool LoadExtension(sqlite3* conn, const std::string& path, SqliteError* err) {
  char* message = nullptr;
  const int rc = sqlite3_load_extension(conn, path.c_str(), nullptr, &message);
  if (rc != SQLITE_OK) *err = {rc, message != nullptr ? message : ""};
  sqlite3_free(message);
  return rc == SQLITE_OK;
}

void CloseConnection(sqlite3*& conn) {
  if (conn != nullptr) sqlite3_close(conn);
  conn = nullptr;
}

std::vector<std::string> DatabaseFileNames(sqlite3* conn) {
  std::vector<std::string> files;
  for (int i = 0; const char* schema = sqlite3_db_name(conn, i); ++i) {
    const char* file = sqlite3_db_filename(conn, schema);
    if (file == nullptr || *file == '\0') continue;
    if (std::find(files.begin(), files.end(), file) == files.end()) files.emplace_back(file);
  }
  return files;
}

UnkeyedRead ReadWithoutKey(const std::string& path, SqliteError* err) {
  sqlite3* conn = nullptr;
  UnkeyedRead read = UnkeyedRead::kFailed;
  int pages = -1;
  auto on_row = [](void* count, int columns, char** values, char**) {
    if (columns > 0 && values[0] != nullptr) *static_cast<int*>(count) = std::atoi(values[0]);
    return 0;
  };
  if (sqlite3_open_v2(path.c_str(), &conn, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK &&
      sqlite3_exec(conn, "SELECT count(*) FROM sqlite_master; PRAGMA page_count;", on_row, &pages,
                   nullptr) == SQLITE_OK) {
    read = pages == 0 ? UnkeyedRead::kEmpty : UnkeyedRead::kPlain;
  } else {
    *err = LastError(conn);
    // What a plain SQLite makes of encrypted bytes: no database, or, behind a
    // plain header, a file format it does not know or pages that are no
    // b-tree. The statements themselves cannot fail otherwise.
    const int code = err->code & 0xff;
    if (code == SQLITE_NOTADB || code == SQLITE_CORRUPT || code == SQLITE_ERROR) {
      read = UnkeyedRead::kEncrypted;
    }
  }
  sqlite3_close(conn);
  return read;
}

}  // namespace plinth
