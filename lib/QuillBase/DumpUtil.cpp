// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
#include "Crash.h"
#include "QuillBase.h"

namespace Quill {
namespace Base {
namespace DumpUtil {

void RunCrashHandler() { port::InstallCrashHandler(); }

void SetDumpParam(bool full) { port::SetCrashReportFull(full); }

void SetDumpNumber(bool limited, int number) {
  // Without a limit every report is kept.
  port::SetCrashReportLimit(limited ? number : 0);
}

void SetDumpPath(const char* dir) { port::SetCrashReportDir(dir != nullptr ? dir : ""); }

}  // namespace DumpUtil
}  // namespace Base
}  // namespace Quill
