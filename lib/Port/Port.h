// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// Platform services. Each function has one implementation per platform,
// PortPosix.cpp and PortWin32.cpp, chosen by CMake; nothing outside those two
// files needs to know which platform it runs on. Crash reports are declared in
// Crash.h.
#ifndef PLINTH_LIB_PORT_PORT_H_
#define PLINTH_LIB_PORT_PORT_H_

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

// True when something that is not a regular file (a directory, a FIFO, a
// device) exists at `path`, a symbolic link followed. Looking never reads it
// nor blocks: on POSIX it is only examined (stat), on Windows opened with no
// access to its data.
bool ExistsAsNonRegularFile(const std::string& path);

// Makes the log file at `path` readable by its owner and group at most: on
// POSIX the mode loses every bit outside 0640 (0644 becomes 0640, 0604
// becomes 0600; a narrower mode stays), when it is a regular file with one
// name owned by the effective user, not reached through a symbolic link.
// Returns why that failed, or the empty string (also when there was nothing
// to do). Nothing on Windows, where access is given by the directory's
// access control list.
std::string RestrictLogFileAccess(const std::string& path);

// True when `a` and `b` both exist and are one file, whatever their names:
// one device and inode on POSIX (symbolic links followed), one volume serial
// number and file index on Windows (where 8.3 short names alias long ones).
// False when either does not exist or cannot be examined.
bool SameFile(const std::string& a, const std::string& b);

// Why the platform would take the plain file name `name` for the name of
// another file; empty when it would not. On Windows a name ending in a dot or
// a blank (both are dropped: "public.db." is "public.db") or holding a ":" (a
// stream of a file, "public.db:x", or a drive). Always empty on POSIX.
std::string FileNameProblem(const std::string& name);

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

#endif  // PLINTH_LIB_PORT_PORT_H_
