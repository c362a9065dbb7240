// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include "Common/FileBak.h"

#include <cerrno>
#include <cstdio>
#include <exception>

#include "Common/ErrorText.h"
#include "Common/Log.h"
#include "QuillBase.h"
#include "SafeFunc.h"

namespace plinth {
namespace {

// Removes the trailing line feeds of `text`, unless it holds nothing else.
void TrimTrailingLineFeeds(std::string& text) {
  const std::size_t last = text.find_last_not_of('\n');
  if (last != std::string::npos) text.erase(last + 1);
}

// Whether a read logs its failures.
enum class Logging { kOn, kOff };

// Reads `size` bytes of `file` (opened from `path`) into `text`, straight into
// the string's own storage. False, with a log line unless `logging` is off,
// when no buffer of that size can be had.
bool ReadContent(std::string& text, CInputFile& file, long size, const std::string& path,
                 const std::string& function, Logging logging) {
  const auto length = static_cast<std::size_t>(size);
  std::string buffer;
  try {
    buffer.resize(length);
  } catch (const std::exception&) {  // bad_alloc or length_error
    if (logging == Logging::kOn) {
      PLINTH_LOG_AS(function, LogLevel::kError,
                    "[%s]no memory to read file. file path:%s, size:%ld.[%s(%d)]", path.c_str(),
                    size);
    }
    return false;
  }
  __orl_safec_errno_t = ORL_Memset_s(&buffer[0], length, 0, length);
  if (__orl_safec_errno_t != 0) {
    __orl_safec_error_handle(SourceBaseName(__FILE__), __LINE__, function.c_str(), "ORL_MEMSET_S",
                             __orl_safec_errno_t);
  }
  buffer.resize(file.ReadInto(buffer, length));
  text = std::move(buffer);
  TrimTrailingLineFeeds(text);
  return true;
}

// Opens into `file` the file at `file_path_name`, or its backup when the file
// cannot be opened or is empty, logging as `function` unless `logging` is off.
// Returns the size of the file opened, with `opened` naming it; 0 when
// neither holds a byte.
long OpenWithBackup(CInputFile& file, const std::string& file_path_name,
                    const std::string& backup_path, const std::string& function,
                    std::string& opened, Logging logging = Logging::kOn) {
  const int err = file.Open(file_path_name);
  if (err != 0) {
    if (logging == Logging::kOn) {
      PLINTH_LOG_AS(function, LogLevel::kError, "[%s]open file fail. file path:%s, %s.[%s(%d)]",
                    file_path_name.c_str(), ErrnoNumber(err).c_str());
    }
  } else {
    const long size = file.Measure();
    opened = file_path_name;
    if (size > 0) return size;
    file.Close();
  }

  std::string backup = backup_path;
  if (backup.empty()) {
    std::string file_path, file_name, file_type;
    if (!CFileBak::ParseFilePath(file_path_name, file_path, file_name, file_type)) {
      if (logging == Logging::kOff) return 0;
      PLINTH_LOG_AS(function, LogLevel::kError,
                    "[%s]Parse File Path Fail. file_path_name:%s, file_path:%s, "
                    "file_name:%s, file_type:%s.[%s(%d)]",
                    file_path_name.c_str(), file_path.c_str(), file_name.c_str(),
                    file_type.c_str());
      return 0;
    }
    backup = file_path + "/" + file_name + ".data";
  }
  const int backup_err = file.Open(backup);
  if (backup_err != 0) {
    if (logging == Logging::kOn) {
      PLINTH_LOG_AS(function, LogLevel::kError, "[%s]Open File Fail. file path:%s, %s.[%s(%d)]",
                    backup.c_str(), ErrnoNumber(backup_err).c_str());
    }
    return 0;
  }
  const long size = file.Measure();
  opened = backup;
  if (size > 0) return size;
  file.Close();
  return 0;
}

}  // namespace

int CInputFile::Open(const std::string& path) {
  Close();
  read_error_ = 0;
  return Quill::Base::FileUtil::fopen_s(&file_, path.c_str(), "rb");
}

void CInputFile::Close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

long CInputFile::Measure() {
  if (std::fseek(file_, 0, SEEK_END) != 0) return -1;
  const long size = std::ftell(file_);
  if (std::fseek(file_, 0, SEEK_SET) != 0) return -1;
  return size;
}

std::size_t CInputFile::Read(std::string& block, std::size_t max) {
  block.resize(max);
  block.resize(ReadInto(block, max));
  return block.size();
}

std::size_t CInputFile::ReadInto(std::string& text, std::size_t length) {
  if (length == 0) return 0;
  errno = 0;
  const std::size_t read = std::fread(&text[0], 1, length, file_);
  if (read < length && std::ferror(file_) != 0) read_error_ = errno != 0 ? errno : EIO;
  return read;
}

bool CInputFile::Rewind() {
  std::clearerr(file_);
  read_error_ = 0;
  if (std::fseek(file_, 0, SEEK_SET) == 0) return true;
  read_error_ = errno != 0 ? errno : EIO;
  return false;
}

bool CFileBak::ReadFile(std::string& text, const std::string& file_path_name,
                        const std::string& backup_path) {
  const std::string function = PLINTH_FUNCTION;
  CInputFile file;
  std::string opened;
  const long size = OpenWithBackup(file, file_path_name, backup_path, function, opened);
  return size > 0 && ReadContent(text, file, size, opened, function, Logging::kOn);
}

bool CFileBak::ReadFileQuietly(std::string& text, const std::string& file_path_name) {
  CInputFile file;
  std::string opened;
  const long size =
      OpenWithBackup(file, file_path_name, std::string(), std::string(), opened, Logging::kOff);
  return size > 0 && ReadContent(text, file, size, opened, std::string(), Logging::kOff);
}

bool CFileBak::ReadFile(CInputFile& file, const std::string& file_path_name,
                        const std::string& backup_path) {
  std::string opened;
  return OpenWithBackup(file, file_path_name, backup_path, PLINTH_FUNCTION, opened) > 0;
}

bool CFileBak::ParseFilePath(const std::string& file_path_name, std::string& file_path,
                             std::string& file_name, std::string& file_type) {
  const std::size_t separator = file_path_name.find_last_of("/\\");
  if (separator == std::string::npos) return false;
  file_path = file_path_name.substr(0, separator);
  file_name = file_path_name.substr(separator + 1);
  const std::size_t dot = file_name.rfind('.');
  if (dot == std::string::npos) return true;
  file_type = file_name.substr(dot + 1);
  file_name.erase(dot);
  return true;
}

}  // namespace plinth
