#include "Common/NameCheck.h"

#include <algorithm>
#include <cctype>

namespace plinth {
namespace {

std::string PathComponentProblem(const std::string& name) {
  if (name.find_first_of("/\\") != std::string::npos) return "it contains a path separator";
  if (name == "." || name == "..") return "it is \".\" or \"..\"";
  return std::string();
}

}  // namespace

bool SameDatabaseFile(const std::string& a, const std::string& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

std::string PluginNameProblem(const std::string& name) { return PathComponentProblem(name); }

std::string DatabaseFileNameProblem(const std::string& file_name, const std::string& plugin_name) {
  std::string problem = PathComponentProblem(file_name);
  if (!problem.empty()) return problem;
  if (SameDatabaseFile(file_name, "public.db")) {
    return "it names the shared database public.db";
  }
  if (plugin_name != "platform" && SameDatabaseFile(file_name, "platform.db")) {
    return "it names the platform's database platform.db";
  }
  return std::string();
}

}  // namespace plinth
