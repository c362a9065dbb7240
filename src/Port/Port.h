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

// Single-instance guard. Returns true only when another live process already
// holds the instance named `name`; otherwise this process now holds it until it
// ends. Any failure to create or take the guard answers false.
bool IsInstanceRunning(const char* name);

// Enables the debug privilege of the process. Returns true on success; on POSIX
// there is no such privilege and the answer is false.
bool EnableDebugPrivilege();

// Opens `path` with `mode` into `*file`. Returns 0 on success, else the error
// number, with `*file` set to null. A directory or any other object that is not
// a regular file cannot be opened for reading; on POSIX the answer is EISDIR
// for a directory and EINVAL for anything else (FIFO, device, socket), and the
// open never blocks.
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
