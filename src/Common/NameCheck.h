// Checks of names that become parts of paths. Each answers why a name is
// refused, or the empty string when it is fine.
#ifndef PLINTH_COMMON_NAMECHECK_H_
#define PLINTH_COMMON_NAMECHECK_H_

#include <string>

namespace plinth {

// A plug-in name becomes a directory name below the system directory: it must
// not hold a path separator or be "." or "..".
std::string PluginNameProblem(const std::string& name);

// `file_name` is the database file of `plugin_name` in the data directory, and
// it is removed and created afresh: it must be a plain file name, not "." or
// "..", and not one of the shared databases ("public.db", and "platform.db"
// for any plug-in but "platform"; letter case is not told apart).
std::string DatabaseFileNameProblem(const std::string& file_name, const std::string& plugin_name);

// True when the two database file names name the same file; letter case is
// not told apart.
bool SameDatabaseFile(const std::string& a, const std::string& b);

}  // namespace plinth

#endif  // PLINTH_COMMON_NAMECHECK_H_
