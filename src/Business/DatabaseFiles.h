// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// Files of the database build on disk: whether one exists, and the removal of
// an old database with its companion files.
#ifndef PLINTH_BUSINESS_DATABASEFILES_H_
#define PLINTH_BUSINESS_DATABASEFILES_H_

#include <string>

#include "Common/Log.h"

namespace plinth {

// Whether an existence test looks through a symbolic link at the path, to what
// it points to, or at the path itself (a link, dangling or not, exists).
enum class Links { kFollow, kDoNotFollow };

// Sets `*exists` to whether something, of any kind, exists at `path`. Returns
// false when that cannot be told (an error other than absence, such as a
// denied directory or a loop of links): logged at `at`, and `*exists` false.
bool ExistsOrFail(const LogSite& at, const std::string& path, Links links, bool* exists);

// Whether something exists at `path`, links followed; a path whose existence
// cannot be told counts as absent. Logs nothing.
bool ExistsElseAbsent(const std::string& path);

// Fails, logged at `at`, when something exists at the extension library path
// `path` (links followed) that is not a regular file. True when a regular
// file is there, when nothing is, and when that cannot be told.
bool CheckExtensionLibrary(const LogSite& at, const std::string& path);

// Removes the database file at `path` (named `file_name` in the log) and then
// the companions that kCompanionFiles removes before a database is created
// afresh (-shm, then -wal), each where it exists, announcing each with
// its "aleady exists remove." line at `at`. Each path is looked at itself: a
// symbolic link there, dangling or not, is removed as a link, and what it
// points to stays. Returns false, logged at `at`, when an existence cannot be
// told or a removal fails; what was removed before stays removed.
bool RemoveDatabaseFiles(const LogSite& at, const std::string& path, const std::string& file_name);

}  // namespace plinth

#endif  // PLINTH_BUSINESS_DATABASEFILES_H_
