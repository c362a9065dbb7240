// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// The running of SQL script files on the build's connections. A script (a
// missing or empty file replaced by its backup copy) is read in blocks and its
// statements run one after another as sqlite3_exec runs them on the whole
// text, each as soon as it has been read, so that memory does not grow with
// the script's size; the tool adds no
// statement and no transaction, so what the statements before a failing one
// did stays. Every failure is logged at the operation's site, with the message
// of the script's kind, and a failing statement with one more line that names
// the file, the line on which the statement begins and its first characters.
#ifndef PLINTH_BUSINESS_SCRIPTRUNNER_H_
#define PLINTH_BUSINESS_SCRIPTRUNNER_H_

#include <map>
#include <string>
#include <vector>

#include "Common/Log.h"

struct sqlite3;

namespace plinth {

// The kinds of script of the build, each with its own failure message.
enum class Script {
  kPublicData,      // create_public_data.sql, on public.db
  kProductVersion,  // ProductVersionToDB.sql, on the platform's database
  kCreateTables,    // a plug-in's create_tables.sql
  kInitData,        // a plug-in's init_data.sql
  kForOtherPlugin,  // a script a plug-in runs on a special plug-in's database
};

// Runs the script file at `path` (local code page) on `conn`; a UTF-8
// byte-order mark at its start is skipped. Returns false when the file cannot
// be read, holds a NUL byte (SQLite would stop there and report success), or a
// statement fails. A script still running 5 seconds after it started is
// logged at `at` at most every 5 seconds while it runs, also from within a
// long statement: "<path> still running: <read> of <size> bytes read,
// <count> statements completed, <seconds> s so far".
bool RunScript(const LogSite& at, Script script, sqlite3* conn, const std::string& path);

// Runs the plug-in's create_tables.sql and then its init_data.sql from
// `scripts_dir` (UTF-8, ending with a separator) on `conn`; a script that does
// not exist is skipped with a notice. Returns false when a script's existence
// cannot be told, or it fails.
bool RunPluginScripts(const LogSite& at, sqlite3* conn, const std::string& scripts_dir);

// For each connection of `conns`, in name order, runs the scripts that
// `scripts` lists under that name, in list order; every one must exist.
// Returns false at the first failure, or for a null connection or a name that
// `scripts` does not list.
bool RunScriptsForOtherPlugins(const LogSite& at, const std::map<std::string, sqlite3*>& conns,
                               const std::map<std::string, std::vector<std::string>>& scripts);

// The check of a script that RunScript would run, running none of it: the
// file at `path` (local code page) can be read (a missing or empty one
// replaced by its backup copy), holds no NUL byte, and its text, read in
// blocks as RunScript reads it, ends complete by SQLite's completeness test
// (CSqlSplitter), where a comment left open at the end is complete (RunScript
// skips it), and so is a last statement without its ";" that SQLite's parser
// reads whole (RunScript runs it; EndsBeforeItsStatement). Each failure is
// logged at `at` as RunScript logs it; a text that does not end complete as
// the failure of its last statement with SQLite's "incomplete input".
bool CheckScript(const LogSite& at, Script script, const std::string& path);

// Checks the plug-in's create_tables.sql and init_data.sql in `scripts_dir`
// as RunPluginScripts would run them: each that exists with CheckScript; one
// that does not is the same notice.
bool CheckPluginScripts(const LogSite& at, const std::string& scripts_dir);

// Checks with CheckScript the scripts that `scripts` lists under each of
// `names`, as RunScriptsForOtherPlugins would run them on the connections of
// those names: in name and list order, every one must exist.
bool CheckScriptsForOtherPlugins(const LogSite& at, const std::vector<std::string>& names,
                                 const std::map<std::string, std::vector<std::string>>& scripts);

}  // namespace plinth

#endif  // PLINTH_BUSINESS_SCRIPTRUNNER_H_
