// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// Temporary directories and whole files, for tests.
#ifndef PLINTH_TESTS_SUPPORT_TEMPDIR_H_
#define PLINTH_TESTS_SUPPORT_TEMPDIR_H_

#include <filesystem>
#include <string>

namespace plinth_test {

// A fresh directory below the system's temporary directory, named
// "<prefix>-<pid>-<random>".
std::string MakeTempDir(const std::string& prefix);

// A fresh directory (MakeTempDir), removed with everything in it when the
// object goes.
class ScopedTempDir {
 public:
  explicit ScopedTempDir(const std::string& prefix = "plinth-test");
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // `path()` joined with `relative`, as a string.
  std::string Sub(const std::string& relative) const;

 private:
  std::filesystem::path path_;
};

// Writes `content` to `path`, replacing the file and creating missing parent
// directories; throws std::runtime_error when it cannot.
void WriteFile(const std::string& path, const std::string& content);

// The bytes of the file at `path`; empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);

}  // namespace plinth_test

#endif  // PLINTH_TESTS_SUPPORT_TEMPDIR_H_
