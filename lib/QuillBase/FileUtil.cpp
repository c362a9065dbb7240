// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include "Port.h"
#include "QuillBase.h"

namespace Quill {
namespace Base {
namespace FileUtil {
namespace {

std::string& ExeDirUtf8() {
  static std::string dir;
  return dir;
}

}  // namespace

std::string GetCurExeDir() { return port::ExecutableDir(); }

void InitCurExeDirUtf8(const std::string& dir) { ExeDirUtf8() = dir; }

std::string GetCurExeDirUtf8() { return ExeDirUtf8(); }

// Constant-initialised (an array's address): set before any other
// initialisation reads them.
const char* const kPathSeparator = port::kPathSeparator;
const char* const kSharedLibrarySuffix = port::kSharedLibrarySuffix;

std::string NativePath(const std::string& path) { return port::NativePath(path); }

int fopen_s(std::FILE** file, const char* path, const char* mode) {
  return port::fopen_s(file, path, mode);
}

bool SameFile(const std::string& a, const std::string& b) { return port::SameFile(a, b); }

std::string FileNameProblem(const std::string& name) { return port::FileNameProblem(name); }

}  // namespace FileUtil
}  // namespace Base
}  // namespace Quill
