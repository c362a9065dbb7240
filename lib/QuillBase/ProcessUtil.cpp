// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include "Port.h"
#include "QuillBase.h"

namespace Quill {
namespace Base {
namespace ProcessUtil {

InstanceGuard TakeInstanceGuard(const char* name, std::string* where, std::string* problem) {
  switch (port::TakeInstanceGuard(name, where, problem)) {
    case port::InstanceGuard::kTaken:
      return InstanceGuard::kTaken;
    case port::InstanceGuard::kRunning:
      return InstanceGuard::kRunning;
    case port::InstanceGuard::kNotTaken:
      return InstanceGuard::kNotTaken;
    case port::InstanceGuard::kUntrusted:
      break;
  }
  return InstanceGuard::kUntrusted;
}

bool EnableDebugPrivilege() { return port::EnableDebugPrivilege(); }

void DisableCoreDumps() { port::DisableCoreDumps(); }

void IgnoreBrokenPipes() { port::IgnoreBrokenPipes(); }

}  // namespace ProcessUtil
}  // namespace Base
}  // namespace Quill
