// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// Whole-file reads with a fallback to the file's backup copy.
#ifndef PLINTH_COMMON_FILEBAK_H_
#define PLINTH_COMMON_FILEBAK_H_

#include <cstddef>
#include <cstdio>
#include <string>

namespace plinth {

// A file open for binary reading, closed when the object goes.
class CInputFile {
 public:
  CInputFile() = default;
  ~CInputFile() { Close(); }
  CInputFile(const CInputFile&) = delete;
  CInputFile& operator=(const CInputFile&) = delete;

  // Opens `path` (local code page), closing what was open; 0 or the error
  // number.
  int Open(const std::string& path);
  void Close();

  // The size of the file, with the position left at its start; -1 when it
  // cannot be told.
  long Measure();

  // Reads up to `max` bytes from the position into `block`, replacing what it
  // held. Returns the number read: 0 at the end, or on a read error, which
  // ReadError() then tells.
  std::size_t Read(std::string& block, std::size_t max);

  // Reads `length` bytes from the position straight into `text`, which holds
  // that many bytes; returns the number read (fewer at the end or on a read
  // error).
  std::size_t ReadInto(std::string& text, std::size_t length);

  // The error number of the read that failed since the file was opened; 0
  // when none did.
  int ReadError() const { return read_error_; }

  // Moves the position back to the file's start and forgets an earlier read
  // error. False when the file cannot be repositioned; ReadError() then says
  // why.
  bool Rewind();

 private:
  std::FILE* file_ = nullptr;
  int read_error_ = 0;
};

class CFileBak {
 public:
  // Reads the whole file `file_path_name` (a path in the local code page) into
  // `text`, every byte as stored, with trailing line feeds removed unless the
  // file holds nothing else. When the file cannot be opened or is empty, the
  // backup is read instead: `backup_path` when given, else the file of the
  // same directory and stem with the extension ".data".
  //
  // Returns true when the file or its backup held at least one byte; on false
  // `text` is left as it was. Failures are logged.
  static bool ReadFile(std::string& text, const std::string& file_path_name,
                       const std::string& backup_path = std::string());

  // Reads as the ReadFile above does, with the backup of the same stem, but
  // logs nothing: for a file that a run only looks at, whose absence changes
  // nothing.
  static bool ReadFileQuietly(std::string& text, const std::string& file_path_name);

  // Opens into `file` the file that the ReadFile above reads, for reading in
  // blocks: `file_path_name`, or its backup when the file cannot be opened or
  // is empty, chosen and logged alike. Returns true with `file` at its start
  // and at least one byte long; on false `file` is closed. The reader's
  // trimming of trailing line feeds is left to the caller.
  static bool ReadFile(CInputFile& file, const std::string& file_path_name,
                       const std::string& backup_path = std::string());

  // Splits `file_path_name` at its last "/" or "\" into the directory
  // `file_path` and the last component, which splits at its last dot into the
  // stem `file_name` and the extension `file_type` (left untouched when the
  // component has no dot). Returns false, changing nothing, when the path has
  // no separator.
  static bool ParseFilePath(const std::string& file_path_name, std::string& file_path,
                            std::string& file_name, std::string& file_type);
};

}  // namespace plinth

#endif  // PLINTH_COMMON_FILEBAK_H_
