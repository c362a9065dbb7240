// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include "Business/DatabaseFiles.h"

#include <boost/filesystem.hpp>
#include <boost/system/error_code.hpp>
#include <utility>

#include "Common/ErrorText.h"

namespace plinth {
namespace {

// The three files of a database: the file itself and its companions.
enum class DatabasePart { kFile, kShm, kWal };

void LogRemovalNotice(const LogSite& at, DatabasePart part, const std::string& file_name) {
  switch (part) {
    case DatabasePart::kFile:
      PLINTH_LOG_AT(at, LogLevel::kInfo, "[%s]%s aleady exists remove.[%s(%d)]", file_name.c_str());
      break;
    case DatabasePart::kShm:
      PLINTH_LOG_AT(at, LogLevel::kInfo, "[%s]%s dir_shm aleady exists remove.[%s(%d)]",
                    file_name.c_str());
      break;
    case DatabasePart::kWal:
      PLINTH_LOG_AT(at, LogLevel::kInfo, "[%s]%s dir_wal aleady exists remove.[%s(%d)]",
                    file_name.c_str());
      break;
  }
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
  const std::pair<DatabasePart, std::string> parts[] = {{DatabasePart::kFile, path},
                                                        {DatabasePart::kShm, path + "-shm"},
                                                        {DatabasePart::kWal, path + "-wal"}};
  for (const auto& [part, file] : parts) {
    bool exists = false;
    if (!ExistsOrFail(at, file, Links::kDoNotFollow, &exists)) return false;
    if (!exists) continue;
    LogRemovalNotice(at, part, file_name);
    boost::system::error_code ec;
    boost::filesystem::remove(file, ec);
    if (ec) {
      PLINTH_LOG_AT(at, LogLevel::kFatal, "[%s]remove %s fail,%s[%s(%d)]", file_name.c_str(),
                    FileSystemError(ec).c_str());
      return false;
    }
  }
  return true;
}

}  // namespace plinth
