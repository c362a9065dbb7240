// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include "Business/DatabaseFiles.h"

#include <boost/filesystem.hpp>
#include <boost/system/error_code.hpp>

#include "Common/ErrorText.h"
#include "Config/ProductLayout.h"

namespace plinth {
namespace {

// Removes what is at `path` (looked at itself, links not followed), a part of
// the database named `file_name` in the log: the file itself when `companion`
// is null, else that companion file. The removal is announced at `at`. False,
// logged, when its existence cannot be told or the removal fails.
bool RemoveIfPresent(const LogSite& at, const std::string& path, const std::string& file_name,
                     const CompanionFile* companion) {
  bool exists = false;
  if (!ExistsOrFail(at, path, Links::kDoNotFollow, &exists)) return false;
  if (!exists) return true;
  if (companion == nullptr) {
    PLINTH_LOG_AT(at, LogLevel::kInfo, "[%s]%s aleady exists remove.[%s(%d)]", file_name.c_str());
  } else {
    // "dir_shm", "dir_wal": the suffix without its dash.
    PLINTH_LOG_AT(at, LogLevel::kInfo, "[%s]%s dir_%s aleady exists remove.[%s(%d)]",
                  file_name.c_str(), companion->suffix + 1);
  }
  boost::system::error_code ec;
  boost::filesystem::remove(path, ec);
  if (!ec) return true;
  PLINTH_LOG_AT(at, LogLevel::kFatal, "[%s]remove %s fail,%s[%s(%d)]", file_name.c_str(),
                FileSystemError(ec).c_str());
  return false;
}

}  // namespace

bool ExistsOrFail(const LogSite& at, const std::string& path, Links links, bool* exists) {
  boost::system::error_code ec;
  const boost::filesystem::file_status status = links == Links::kFollow
                                                    ? boost::filesystem::status(path, ec)
                                                    : boost::filesystem::symlink_status(path, ec);
  *exists = boost::filesystem::exists(status);
  // Absence is an answer; status_error means the question has none.
  if (status.type() != boost::filesystem::status_error) return true;
  PLINTH_LOG_AT(at, LogLevel::kError, "[%s]cannot tell whether %s exists,%s[%s(%d)]", path.c_str(),
                FileSystemError(ec).c_str());
  return false;
}

bool ExistsElseAbsent(const std::string& path) {
  boost::system::error_code ec;
  return boost::filesystem::exists(path, ec);
}

bool CheckExtensionLibrary(const LogSite& at, const std::string& path) {
  boost::system::error_code ec;
  const boost::filesystem::file_type type = boost::filesystem::status(path, ec).type();
  if (type == boost::filesystem::regular_file || type == boost::filesystem::file_not_found ||
      type == boost::filesystem::status_error) {
    return true;
  }
  PLINTH_LOG_AT(at, LogLevel::kError, "[%s]extension library %s is not a regular file[%s(%d)]",
                path.c_str());
  return false;
}

bool RemoveDatabaseFiles(const LogSite& at, const std::string& path, const std::string& file_name) {
  if (!RemoveIfPresent(at, path, file_name, nullptr)) return false;
  for (const CompanionFile& companion : kCompanionFiles) {
    if (companion.removed_before_create &&
        !RemoveIfPresent(at, path + companion.suffix, file_name, &companion)) {
      return false;
    }
  }
  return true;
}

}  // namespace plinth
