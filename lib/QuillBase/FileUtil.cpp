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

}  // namespace FileUtil
}  // namespace Base
}  // namespace Quill
