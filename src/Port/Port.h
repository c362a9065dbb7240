// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// Platform services. Each function has one implementation per platform,
// PortPosix.cpp and PortWin32.cpp, chosen by CMake; nothing outside those two
// files needs to know which platform it runs on. Crash reports are declared in
// Crash.h.
#ifndef PLINTH_PORT_PORT_H_
#define PLINTH_PORT_PORT_H_

#include <cstdio>
#include <string>

namespace port {

// The path separator ("/" or "\") and the shared-library suffix (".so" or
// ".dll") of the platform.
extern const char kPathSeparator[];
extern const char kSharedLibrarySuffix[];

// Returns `path` with every "/" replaced by the platform's separator. Path
// literals are written with "/" and passed through this function.
std::string NativePath(const std::string& path);

// The answer of the single-instance guard.
enum class InstanceGuard {
  kTaken,      // this process holds the guard now, until it ends
  kRunning,    // another live process holds it
  kNotTaken,   // the guard cannot be had; the caller goes on as the first instance
  kUntrusted,  // what stands in the guard's place is not to be trusted
};

// Takes the single-instance guard named `name`. Fills `*where` with the
// guard as a log line names it: on POSIX "lock file <dir>/<name>.lock", the
// temporary directory being $TMPDIR or /tmp; on Windows "mutex <name>". For kNotTaken and
// kUntrusted `*problem` says why in a few words ("it is a symbolic link", "open: Permission
// denied"), else it is emptied. On POSIX the lock file is opened without following a symbolic link,
// created with mode 0600, and trusted only when it is a regular file with one name owned by the
// effective user; a file of ours with another mode gets 0600. Asking again for a guard this process
// holds answers kTaken.
InstanceGuard TakeInstanceGuard(const char* name, std::string* where, std::string* problem);

// Makes the process not dumpable from here on: no core file is written and
// other processes of the same user cannot read its memory (Linux:
// PR_SET_DUMPABLE 0). The crash reports of InstallCrashHandler still work.
// Nothing on Windows.
void DisableCoreDumps();

// A write to a pipe or socket whose reader is gone fails with EPIPE instead
// of ending the process (SIGPIPE ignored). Nothing on Windows.
void IgnoreBrokenPipes();

// Enables the debug privilege of the process. Returns true on success; on POSIX
// there is no such privilege and the answer is false.
bool EnableDebugPrivilege();

// Opens `path` for reading, `mode` "rb" or "r", into `*file`. Returns 0 on
// success, else the error number, with `*file` set to null; any other mode is
// refused with EINVAL. A directory or any other object that is not a regular
// file cannot be opened; on POSIX the answer is EISDIR for a directory and
// EINVAL for anything else (FIFO, device, socket), and the open never blocks.
int fopen_s(std::FILE** file, const char* path, const char* mode);

// The path of the running executable in the local code page; empty when it
// cannot be determined.
std::string ExecutablePath();

// The directory of the running executable in the local code page, ending with
// the path separator. Empty when it cannot be determined.
std::string ExecutableDir();

// Conversion between UTF-8 and the local code page. A string that cannot be
// converted is returned unchanged.
std::string LocalToUtf8(const std::string& text);
std::string Utf8ToLocal(const std::string& text);

}  // namespace port

#endif  // PLINTH_PORT_PORT_H_
