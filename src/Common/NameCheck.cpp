// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include "Common/NameCheck.h"

#include <algorithm>

#include "Common/AsciiCase.h"

namespace plinth {
namespace {

// The files SQLite keeps beside a database: the write-ahead log, its index,
// and the rollback journal.
constexpr const char* kCompanionSuffixes[] = {"-wal", "-shm", "-journal"};

std::string PathComponentProblem(const std::string& name) {
  if (name.find_first_of("/\\") != std::string::npos) return "it contains a path separator";
  if (name == "." || name == "..") return "it is \".\" or \"..\"";
  return std::string();
}

// Why `file_name` may not stand beside the shared database `shared`
// ("public.db" or "platform.db"), described as `what`.
std::string SharedDatabaseProblem(const std::string& file_name, const std::string& shared,
                                  const std::string& what) {
  if (SameDatabaseFile(file_name, shared)) return "it names " + what + " " + shared;
  if (IsCompanionFile(file_name, shared)) {
    return "it names a companion file of " + what + " " + shared;
  }
  return std::string();
}

}  // namespace

bool SameDatabaseFile(const std::string& a, const std::string& b) {
  return EqualsIgnoringAsciiCase(a, b);
}

bool IsCompanionFile(const std::string& name, const std::string& database) {
  return std::any_of(std::begin(kCompanionSuffixes), std::end(kCompanionSuffixes),
                     [&](const char* suffix) { return SameDatabaseFile(name, database + suffix); });
}

std::string PluginNameProblem(const std::string& name) {
  std::string problem = PathComponentProblem(name);
  if (!problem.empty()) return problem;
  const auto control = [](unsigned char c) { return c < 0x20 || c == 0x7f; };
  if (std::any_of(name.begin(), name.end(), control)) return "it contains a control character";
  if (!name.empty() && name[0] == '-') {
    return "it begins with \"-\" (the options --help, -h and --version are given alone)";
  }
  return std::string();
}

std::string DatabaseFileNameProblem(const std::string& file_name, const std::string& plugin_name) {
  std::string problem = PathComponentProblem(file_name);
  if (!problem.empty()) return problem;
  problem = SharedDatabaseProblem(file_name, "public.db", "the shared database");
  if (!problem.empty()) return problem;
  problem = SharedDatabaseProblem(file_name, "platform.db", "the platform's database");
  // The platform's own database is platform.db; its companions are not.
  if (plugin_name == "platform" && SameDatabaseFile(file_name, "platform.db")) return std::string();
  return problem;
}

std::string SpecialDatabaseProblem(const std::string& own_file, const std::string& special_file,
                                   const std::string& special_name) {
  if (SameDatabaseFile(own_file, special_file)) return "it is the database of " + special_name;
  if (IsCompanionFile(own_file, special_file)) {
    return "it is a companion file of the database of " + special_name;
  }
  if (IsCompanionFile(special_file, own_file)) {
    return "its companion file " + special_file + " is the database of " + special_name;
  }
  return std::string();
}

std::string PlatformDatabaseProblem(const std::string& own_file, const std::string& platform_file) {
  if (platform_file.empty()) return std::string();
  std::string problem = SharedDatabaseProblem(own_file, platform_file, "the platform's database");
  if (!problem.empty()) return problem;
  if (IsCompanionFile(platform_file, own_file)) {
    return "its companion file " + platform_file + " is the platform's database";
  }
  return std::string();
}

}  // namespace plinth
