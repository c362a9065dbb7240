// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// Checks of names that become parts of paths. Each answers why a name is
// refused, or the empty string when it is fine.
#ifndef PLINTH_COMMON_NAMECHECK_H_
#define PLINTH_COMMON_NAMECHECK_H_

#include <string>

namespace plinth {

// A plug-in name becomes a directory name below the system directory: it must
// not hold a path separator or be "." or "..". Nor may it hold a control
// character (below 0x20, or 0x7F): it is written into log lines. Nor may it
// begin with "-": the command line's options do, and a mistyped option must
// not be taken for a plug-in.
std::string PluginNameProblem(const std::string& name);

// `file_name` is the database file of `plugin_name` in the data directory, and
// it is removed and created afresh: it must be a plain file name, not "." or
// "..", not one of the shared databases ("public.db", and "platform.db" for
// any plug-in but "platform") and not a companion file ("-wal", "-shm",
// "-journal") of either. Letter case is not told apart.
std::string DatabaseFileNameProblem(const std::string& file_name, const std::string& plugin_name);

// `own_file` is the database file that a run removes and creates afresh (with
// its companions), and `special_file` the database of the special plug-in
// `special_name`, which the run must leave alone: they must not be the same
// file, and neither may be a companion file of the other. The problem is told
// of `own_file`. Letter case is not told apart.
std::string SpecialDatabaseProblem(const std::string& own_file, const std::string& special_file,
                                   const std::string& special_name);

// `own_file` is the database file of a plug-in other than the platform, which
// its run removes and creates afresh (with its companions), and
// `platform_file` the platform's own database file, as the platform's
// DBConfig.xml names it: they must not be the same file, and neither may be a
// companion file of the other. "" when `platform_file` is empty. Letter case
// is not told apart.
std::string PlatformDatabaseProblem(const std::string& own_file, const std::string& platform_file);

// True when the two database file names name the same file; ASCII letter case
// is not told apart.
bool SameDatabaseFile(const std::string& a, const std::string& b);

// True when `name` is a companion file of the database file `database`: its
// name followed by "-wal", "-shm" or "-journal" (ASCII letter case not told
// apart).
bool IsCompanionFile(const std::string& name, const std::string& database);

}  // namespace plinth

#endif  // PLINTH_COMMON_NAMECHECK_H_
