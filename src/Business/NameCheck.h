// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// Checks of names that become parts of paths. Each answers why a name is
// refused, or the empty string when it is fine.
#ifndef PLINTH_BUSINESS_NAMECHECK_H_
#define PLINTH_BUSINESS_NAMECHECK_H_

#include <string>

namespace plinth {

// A plug-in name becomes a directory name below the system directory: it must
// not hold a path separator or be "." or "..". Nor may it hold a control
// character (below U+0020, U+007F, or the C1 controls U+0080 to U+009F, among
// them the next line U+0085) or the line and paragraph separators U+2028 and
// U+2029: it is written into log lines, and a reader may break lines there.
// Nor may it begin with "-": the command line's options do, and a mistyped
// option must not be taken for a plug-in.
//
// `name` is in the local code page, as the command line gives it; its
// characters are looked at in its UTF-8 form (StringUtil::Local2UTF8), never
// byte by byte, as a multi-byte code page (GBK, Shift-JIS) has bytes 0x80 to
// 0x9F inside its characters. Bytes that are not UTF-8 are not refused (the
// log shows them as \xNN).
std::string PluginNameProblem(const std::string& name);

// `file_name` is the database file of `plugin_name` in the data directory, and
// it is removed and created afresh: it must be a plain file name, not "." or
// "..", not one of the shared databases (kPublicDatabase, and kPlatformDatabase
// for any plug-in but the platform) and not a companion file (kCompanionFiles)
// of either, nor a name the platform takes for another file's
// (FileUtil::FileNameProblem: on Windows a trailing dot or blank, a ":"). Letter
// case is not told apart. With `data_dir` (the data directory) given, two
// names that both exist there are also compared as files (SameDatabaseFile).
std::string DatabaseFileNameProblem(const std::string& file_name, const std::string& plugin_name,
                                    const std::string& data_dir = std::string());

// `own_file` is the database file that a run removes and creates afresh (with
// its companions), and `special_file` the database of the special plug-in
// `special_name`, which the run must leave alone: they must not be the same
// file, and neither may be a companion file of the other. The problem is told
// of `own_file`. Letter case is not told apart; `data_dir` as for
// DatabaseFileNameProblem.
std::string SpecialDatabaseProblem(const std::string& own_file, const std::string& special_file,
                                   const std::string& special_name,
                                   const std::string& data_dir = std::string());

// `own_file` is the database file of a plug-in other than the platform, which
// its run removes and creates afresh (with its companions), and
// `platform_file` the platform's own database file, as the platform's
// DBConfig.xml names it: they must not be the same file, and neither may be a
// companion file of the other. "" when `platform_file` is empty. Letter case
// is not told apart; `data_dir` as for DatabaseFileNameProblem.
std::string PlatformDatabaseProblem(const std::string& own_file, const std::string& platform_file,
                                    const std::string& data_dir = std::string());

// True when the two database file names name the same file: equal but for
// ASCII letter case, or, with `data_dir` given, both existing there as one
// file (FileUtil::SameFile; on Windows an 8.3 short name and its long name).
bool SameDatabaseFile(const std::string& a, const std::string& b,
                      const std::string& data_dir = std::string());

// True when `name` is a companion file of the database file `database`: its
// name followed by the suffix of one of kCompanionFiles (SameDatabaseFile, with
// `data_dir`).
bool IsCompanionFile(const std::string& name, const std::string& database,
                     const std::string& data_dir = std::string());

}  // namespace plinth

#endif  // PLINTH_BUSINESS_NAMECHECK_H_
