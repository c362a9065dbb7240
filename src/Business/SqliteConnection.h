// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// The SQLite calls of the database build, each reporting a failure in one way:
// it returns false and fills a SqliteError, and the caller logs the message
// of its step with the error (SqliteError::Describe). Nothing here logs.
#ifndef PLINTH_BUSINESS_SQLITECONNECTION_H_
#define PLINTH_BUSINESS_SQLITECONNECTION_H_

#include <cstddef>
#include <exception>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "Common/SqlSplitter.h"

struct sqlite3;

namespace plinth {

// What SQLite reports of a failed call: a result code and its text.
struct SqliteError {
  int code = 0;
  std::string text;

  // The error as a failure line gives it: "errorcode:<code>,errinfo:<text>".
  std::string Describe() const;
  // Its text alone, as the line of a failed open gives it: "errinfo:<text>".
  std::string DescribeText() const;
};

// True for SQLite's "not a database" result (SQLITE_NOTADB): what SQLCipher
// answers for a file it cannot decrypt with the key and settings given.
bool IsNotADatabase(const SqliteError& error);

// Opens the database file at `path` into `*conn`, creating it when missing.
// SQLite hands back a handle even when the open fails: `*conn` holds it then
// too, and the caller owns and closes it. False on failure, with `*err` filled
// from that handle.
bool OpenDatabase(const std::string& path, sqlite3** conn, SqliteError* err);

// Opens a connection to an empty in-memory database that writes nothing:
// read-only, and taking URI file names (SQLite's "file:" form), so that the
// files it attaches are opened read-only too. False on failure, with `*err`
// filled; the caller owns and closes `*conn` either way.
bool OpenInMemoryReadOnly(sqlite3** conn, SqliteError* err);

// The URI file name under which SQLite opens the file at `path` read-only and
// as it lies (mode=ro, immutable=1): without a lock, and without reading or
// creating a rollback journal or a write-ahead log beside it. For a
// connection that takes URI file names.
std::string ImmutableFileUri(const std::string& path);

// Executes the statements of `sql` on `conn`, in one call, up to the first
// that fails (what the ones before it did stays). False then, with `*err`
// holding the connection's error code and text.
bool Execute(sqlite3* conn, const char* sql, SqliteError* err);

// Where in a script the statement that failed lies, as byte offsets into the
// text given: `from`, where the rest of the script was handed to SQLite (the
// blanks, comments and empty statements before the statement included), and
// `end`, just past the statement when SQLite told it (a statement that
// compiled and then failed to run), else std::string::npos (one that failed
// to compile).
struct FailedStatement {
  std::size_t from = 0;
  std::size_t end = std::string::npos;
};

// Executes the statements of `sql` as sqlite3_exec does without a callback:
// one after another, each compiled, stepped to its end with its rows ignored
// and finalized, the blanks between them skipped; the first failure stops it
// (what the statements before it did stays). False then, with `*err` holding
// the connection's error code and text, and `*failed` where that statement
// lies. Counts each statement that ran to its end in `*completed`, when given.
bool ExecuteScript(sqlite3* conn, const char* sql, SqliteError* err, FailedStatement* failed,
                   std::size_t* completed = nullptr);

// A script executed while it is handed over in pieces, with the statements,
// order and outcome of ExecuteScript on the whole text: each piece is read on
// (CSqlSplitter) and the statements it completes run at once; a statement
// not yet ended waits for more. The blanks and comments between statements
// are dropped as they are read, so what is held is about the longest
// statement and a piece, whatever the script's size.
class CScriptStream {
 public:
  explicit CScriptStream(sqlite3* conn) : conn_(conn) {}

  // Adds `text` and executes the statements it completes. False at the first
  // failure, with `*err` and `*failed` filled as ExecuteScript fills them, the
  // offsets into executed(); nothing more may be added then.
  bool Add(std::string_view text, SqliteError* err, FailedStatement* failed);

  // Executes what was added and has not run, a last statement without its
  // ";" included. False at a failure, as Add.
  bool Finish(SqliteError* err, FailedStatement* failed);

  // The text of the last execution: after a failure, the one that failed. It
  // begins with a statement's first byte.
  const std::string& executed() const { return executed_.text; }

  // The line feeds of the script before executed().
  std::size_t line_feeds_before() const { return executed_.line_feeds_before; }

  // The statements that have run to their end so far.
  std::size_t completed() const { return completed_; }

 private:
  bool Run(SqliteError* err, FailedStatement* failed);

  sqlite3* conn_;
  CSqlSplitter splitter_;
  ScriptPart executed_;
  std::size_t completed_ = 0;
};

// While it lives, `tick` is called from within the statements that run on
// `conn` (SQLite's progress handler, every thousand steps of its virtual
// machine), so that a single long statement can report; a tick never stops a
// statement. `conn`'s progress handler is this one's for that time, and none
// afterwards. An exception that `tick` throws cannot pass through SQLite: it
// interrupts the statement (SQLITE_INTERRUPT), and RethrowCaught throws it.
class CStatementTicks {
 public:
  CStatementTicks(sqlite3* conn, std::function<void()> tick);
  ~CStatementTicks();
  CStatementTicks(const CStatementTicks&) = delete;
  CStatementTicks& operator=(const CStatementTicks&) = delete;

  // Throws the exception a tick threw, if one did.
  void RethrowCaught() const;

 private:
  static int OnProgress(void* self) noexcept;

  sqlite3* conn_;
  std::function<void()> tick_;
  std::exception_ptr caught_;
};

// True when SQLite's parser, compiling `sql` on an empty in-memory database,
// reaches the end of the text before the statement ends: its "incomplete
// input" (an unclosed parenthesis, a statement cut short). False for a
// statement that compiles, and for one that fails otherwise, which cannot be
// judged without the schema it runs on.
bool EndsBeforeItsStatement(const std::string& sql);

// True when the library behind `conn` encrypts: SQLCipher answers "PRAGMA
// cipher_version", a plain SQLite ignores both it and "PRAGMA key".
bool LibraryEncrypts(sqlite3* conn);

// Allows `conn` to load extension libraries, for good. False, with `*err`
// holding the connection's error code and text, when SQLite refuses.
bool EnableExtensionLoading(sqlite3* conn, SqliteError* err);

// Loads the extension library at `path` into `conn` with SQLite's default
// entry point. False on failure, with `*err` holding the call's result and the
// text SQLite hands back with it, which names the library's own reason (the
// connection's error text does not).
bool LoadExtension(sqlite3* conn, const std::string& path, SqliteError* err);

// Closes `conn` when it is not null, and makes it null.
void CloseConnection(sqlite3*& conn);

// The files of the databases open on `conn` (main and attached), each once,
// in SQLite's order of the schemas; a temporary or in-memory database has
// none.
std::vector<std::string> DatabaseFileNames(sqlite3* conn);

// How the database file at `path` reads when it is opened without a key.
enum class UnkeyedRead {
  kEncrypted,  // not a database to SQLite (SQLITE_NOTADB), or behind a plain
               // header (cipher_plaintext_header_size) a file format SQLite
               // does not know (SQLITE_ERROR) or pages that are no b-tree
               // pages (SQLITE_CORRUPT)
  kEmpty,      // a database without a single page: it holds nothing
  kPlain,      // its schema reads: its content lies in clear
  kFailed,     // any other error; `*err` says which
};

// Opens the existing database file at `path` without a key (never creating
// it) and reads its schema, to tell whether its content is encrypted.
UnkeyedRead ReadWithoutKey(const std::string& path, SqliteError* err);

}  // namespace plinth

#endif  // PLINTH_BUSINESS_SQLITECONNECTION_H_
