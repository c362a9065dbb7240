// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include "Business/NameCheck.h"

#include <algorithm>
#include <iterator>

#include "Common/AsciiCase.h"
#include "Config/ProductLayout.h"
#include "QuillBase.h"

namespace plinth {
namespace {

std::string PathComponentProblem(const std::string& name) {
  if (name.find_first_of("/\\") != std::string::npos) return "it contains a path separator";
  if (name == "." || name == "..") return "it is \".\" or \"..\"";
  return std::string();
}

// Why `file_name` may not stand beside the shared database `shared`
// (kPublicDatabase or kPlatformDatabase), described as `what`.
std::string SharedDatabaseProblem(const std::string& file_name, const std::string& shared,
                                  const std::string& what, const std::string& data_dir) {
  if (SameDatabaseFile(file_name, shared, data_dir)) return "it names " + what + " " + shared;
  if (IsCompanionFile(file_name, shared, data_dir)) {
    return "it names a companion file of " + what + " " + shared;
  }
  return std::string();
}

// Why the UTF-8 text `text` cannot be written into a log line as it is: a
// control character, or a character at which a reader may break the line.
// Both are multi-byte sequences in UTF-8 whose lead byte is never a
// continuation byte, so finding their bytes finds the characters.
std::string LineBreakingCharacterProblem(const std::string& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const auto next = [&](std::size_t k) {
      return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0;
    };
    // C0 controls, DEL, and U+0080 to U+009F (0xC2 0x80 to 0xC2 0x9F).
    if (c < 0x20 || c == 0x7f || (c == 0xc2 && next(1) >= 0x80 && next(1) <= 0x9f)) {
      return "it contains a control character";
    }
    // U+2028 and U+2029 (0xE2 0x80 0xA8 and 0xA9).
    if (c == 0xe2 && next(1) == 0x80 && (next(2) == 0xa8 || next(2) == 0xa9)) {
      return next(2) == 0xa8 ? "it contains the line separator U+2028"
                             : "it contains the paragraph separator U+2029";
    }
  }
  return std::string();
}

}  // namespace

bool SameDatabaseFile(const std::string& a, const std::string& b, const std::string& data_dir) {
  if (EqualsIgnoringAsciiCase(a, b)) return true;
  using Quill::Base::FileUtil::kPathSeparator;
  return !data_dir.empty() && Quill::Base::FileUtil::SameFile(data_dir + kPathSeparator + a,
                                                              data_dir + kPathSeparator + b);
}

bool IsCompanionFile(const std::string& name, const std::string& database,
                     const std::string& data_dir) {
  return std::any_of(std::begin(kCompanionFiles), std::end(kCompanionFiles),
                     [&](const CompanionFile& companion) {
                       return SameDatabaseFile(name, database + companion.suffix, data_dir);
                     });
}

std::string PluginNameProblem(const std::string& name) {
  std::string problem = PathComponentProblem(name);
  if (!problem.empty()) return problem;
  problem = LineBreakingCharacterProblem(Quill::Base::StringUtil::Local2UTF8(name));
  if (!problem.empty()) return problem;
  if (!name.empty() && name[0] == '-') {
    return "it begins with \"-\" (the options --help, -h and --version are given alone)";
  }
  return std::string();
}

std::string DatabaseFileNameProblem(const std::string& file_name, const std::string& plugin_name,
                                    const std::string& data_dir) {
  std::string problem = PathComponentProblem(file_name);
  if (!problem.empty()) return problem;
  problem = Quill::Base::FileUtil::FileNameProblem(file_name);
  if (!problem.empty()) return problem;
  problem = SharedDatabaseProblem(file_name, kPublicDatabase, "the shared database", data_dir);
  if (!problem.empty()) return problem;
  problem =
      SharedDatabaseProblem(file_name, kPlatformDatabase, "the platform's database", data_dir);
  // The platform's own database is kPlatformDatabase; its companions are not.
  if (plugin_name == kPlatformPlugin && SameDatabaseFile(file_name, kPlatformDatabase, data_dir)) {
    return std::string();
  }
  return problem;
}

std::string SpecialDatabaseProblem(const std::string& own_file, const std::string& special_file,
                                   const std::string& special_name, const std::string& data_dir) {
  if (SameDatabaseFile(own_file, special_file, data_dir)) {
    return "it is the database of " + special_name;
  }
  if (IsCompanionFile(own_file, special_file, data_dir)) {
    return "it is a companion file of the database of " + special_name;
  }
  if (IsCompanionFile(special_file, own_file, data_dir)) {
    return "its companion file " + special_file + " is the database of " + special_name;
  }
  return std::string();
}

std::string PlatformDatabaseProblem(const std::string& own_file, const std::string& platform_file,
                                    const std::string& data_dir) {
  if (platform_file.empty()) return std::string();
  std::string problem =
      SharedDatabaseProblem(own_file, platform_file, "the platform's database", data_dir);
  if (!problem.empty()) return problem;
  if (IsCompanionFile(platform_file, own_file, data_dir)) {
    return "its companion file " + platform_file + " is the platform's database";
  }
  return std::string();
}

}  // namespace plinth
