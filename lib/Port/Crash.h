// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// Crash reports, one implementation per platform (CrashPosix.cpp and
// CrashWin32.cpp, chosen by CMake).
#ifndef PLINTH_LIB_PORT_CRASH_H_
#define PLINTH_LIB_PORT_CRASH_H_

#include <string>

namespace port {

// Crash reports. InstallCrashHandler() makes a fatal signal (or an unhandled
// exception on Windows) write one report into the report directory before the
// process dies with its original cause. At most `limit` reports are kept
// there (all when `limit` <= 0); the oldest are removed first. `full` adds the
// stack trace (on Windows: the handles, the threads' details and the unloaded
// modules; a minidump never holds memory beyond the threads' stacks, and those
// are cut down to what a stack walk needs). `dir` is UTF-8;
// until one is set, the report goes to stderr (on Windows: one line only).
// On POSIX the files already in `dir` are listed when the directory or the
// limit is set; call these before the crash, from one thread.
void InstallCrashHandler();
void SetCrashReportDir(const std::string& dir);
void SetCrashReportLimit(int limit);
void SetCrashReportFull(bool full);

}  // namespace port

#endif  // PLINTH_LIB_PORT_CRASH_H_
