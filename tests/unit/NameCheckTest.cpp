#include <gtest/gtest.h>

#include "Common/NameCheck.h"

namespace plinth {
namespace {

TEST(PluginNameProblem, RefusesNamesThatLeaveTheirDirectory) {
  const struct {
    const char* name;
    const char* problem;
  } cases[] = {
      {"inventory", ""},
      {"event.s", ""},
      {"...", ""},
      {".hidden", ""},
      {"a/b", "it contains a path separator"},
      {"..\\sys", "it contains a path separator"},
      {"/", "it contains a path separator"},
      {".", "it is \".\" or \"..\""},
      {"..", "it is \".\" or \"..\""},
  };
  for (const auto& c : cases) EXPECT_EQ(PluginNameProblem(c.name), c.problem) << c.name;
}

TEST(DatabaseFileNameProblem, RefusesPathsAndSharedDatabases) {
  const struct {
    const char* file;
    const char* plugin;
    const char* problem;
  } cases[] = {
      {"inventory.db", "inventory", ""},
      {"platform.db", "platform", ""},
      {"public.db.bak", "inventory", ""},
      {"../inventory.db", "inventory", "it contains a path separator"},
      {"C:\\x.db", "inventory", "it contains a path separator"},
      {"..", "inventory", "it is \".\" or \"..\""},
      {".", "inventory", "it is \".\" or \"..\""},
      {"public.db", "inventory", "it names the shared database public.db"},
      {"PUBLIC.db", "platform", "it names the shared database public.db"},
      {"platform.db", "inventory", "it names the platform's database platform.db"},
      {"Platform.DB", "event.s", "it names the platform's database platform.db"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DatabaseFileNameProblem(c.file, c.plugin), c.problem) << c.file << " " << c.plugin;
  }
}

}  // namespace
}  // namespace plinth
