// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// What the tool uses of the product's base services library: logging, string
// formatting, code-page conversion, file names and paths, the process's
// start-up services, crash reports and the non-copyable base class. The tool
// reaches the platform through this header alone; the library is built on the
// platform layer (Port.h), which nothing above it includes.
#ifndef PLINTH_LIB_QUILLBASE_QUILLBASE_H_
#define PLINTH_LIB_QUILLBASE_QUILLBASE_H_

#include <cstdio>
#include <string>

#if defined(__GNUC__) || defined(__clang__)
#define QUILL_PRINTF_FORMAT(fmt_index, first_arg) \
  __attribute__((format(printf, fmt_index, first_arg)))
#else
#define QUILL_PRINTF_FORMAT(fmt_index, first_arg)
#endif

namespace Quill {
namespace Base {

// The levels of the tool's log lines, by the numbers VexaFormatLog takes: 3
// progress, 4 a notice (an optional file missing, a plug-in skipped, a second
// instance), 5 and 6 failures. 1 (TRACE) and 2 (DEBUG) are not used.
enum class LogLevel : int { kInfo = 3, kWarn = 4, kError = 5, kFatal = 6 };

namespace details {

// Writes one log line at `level` (1 TRACE, 2 DEBUG, 3 INFO, 4 WARN, 5 ERROR,
// 6 FATAL) to the logger named `module`. `format` is printf-style. Before the
// logger is configured, and when configuration failed, the line goes to
// standard error as "LEVEL module - message"; a line that cannot be written
// there is dropped without ending the process.
//
// A message is always one line, for a reader that breaks lines at any of
// Unicode's line breaks too. It is read as UTF-8, character by character, and
// written with escapes for: the control characters below U+0020 and U+007F, a
// line feed as \n, a carriage return as \r, a tab as \t and any other as \x
// and two lower-case hex digits (\x1b); the C1 controls U+0080 to U+009F (the
// next line U+0085 among them) and the line and paragraph separators U+2028
// and U+2029, as \u and four lower-case hex digits (\u0085, \u2028); and each
// byte that is not part of a valid UTF-8 sequence, as \x and its two hex
// digits (\x85). A backslash itself is written as it is, so the escaped text
// is meant for reading, not for turning back.
//
// A line that log4cxx fails to write (it throws: a full disk) is written to
// standard error after one line there that says why, and so is every later
// line; then the exception goes on to the caller.
void VexaFormatLog(int level, const char* module, const char* format, ...)
    QUILL_PRINTF_FORMAT(3, 4);

// True once a line logged by this process reached none of its destinations:
// standard error, when the line went there, could not be written, or every
// appender of the logger "PLINTH" is a console appender and each of their
// streams failed. A run whose lines are lost cannot show what it did.
bool LogLinesLost();

class CLog {
 public:
  // Configures logging from the log4cxx properties file at `path`. The lines
  // keep going to standard error, after one line there that says why, when the
  // file is missing, cannot be read or is not a regular file (a FIFO, a
  // device, a directory: it is never opened in a way that could block), when
  // log4cxx refuses it, when it gives the logger "PLINTH" no appender (its
  // own, or an ancestor's as log4cxx routes lines), or when one of those
  // appenders cannot write (one without the layout it needs, a file appender
  // whose file could not be opened). Before log4cxx reads the file, which
  // opens every appender's file, each appender's File (its ${...} variables
  // substituted as log4cxx does), or for a rolling appender without one the
  // file its rolling policy names first, is looked at: one that exists and is
  // not a regular file (a FIFO, whose opening would block for ever) is
  // refused so.
  //
  // Once configured, the file of every file appender is made readable by its
  // owner and group only (port::RestrictLogFileAccess: 0644 becomes 0640); a
  // file where that fails is named on standard error, and logging goes on.
  void InitLog(const std::string& path);

  // Does to every file appender's file again what InitLog did, for the end
  // of the process: a rolling appender may have begun a new file since,
  // with the mode the umask gives. Nothing when InitLog configured no
  // appender. A failure is said on standard error; it throws nothing.
  void RestrictLogFiles() noexcept;
};

}  // namespace details

// Process-wide instance of T, created on first use.
template <typename T>
class CSingleton {
 public:
  static T* Instance() {
    static T instance;
    return &instance;
  }
};

// Base class that forbids copying and assignment.
class CNoncopyable {
 public:
  CNoncopyable(const CNoncopyable&) = delete;
  CNoncopyable& operator=(const CNoncopyable&) = delete;

 protected:
  CNoncopyable() = default;
  ~CNoncopyable() = default;
};

namespace StringUtil {

// printf-style formatting into a string.
std::string str_fmt(const char* format, ...) QUILL_PRINTF_FORMAT(1, 2);

// Conversion between the local code page and UTF-8; a string that cannot be
// converted comes back unchanged.
std::string Local2UTF8(const std::string& text);
std::string UTF82Local(const std::string& text);

}  // namespace StringUtil

namespace FileUtil {

// The executable's directory in the local code page, ending with a separator.
std::string GetCurExeDir();
// Stores the UTF-8 form of the executable's directory ...
void InitCurExeDirUtf8(const std::string& dir);
// ... and returns it (empty before InitCurExeDirUtf8).
std::string GetCurExeDirUtf8();

// The platform's path separator ("/" or "\") and shared-library suffix
// (".so" or ".dll").
extern const char* const kPathSeparator;
extern const char* const kSharedLibrarySuffix;

// `path` with every "/" replaced by the platform's separator: path literals
// are written with "/" and passed through it.
std::string NativePath(const std::string& path);

// The C runtime's fopen_s, for reading, on every platform: opens `path`
// (local code page) with `mode` "rb" or "r" into `*file`. Returns 0, or the
// error number with `*file` null. Only a regular file opens: a directory gives
// EISDIR on POSIX, anything else that is not a regular file EINVAL, and the
// open never blocks (a FIFO). Any other mode is refused with EINVAL.
int fopen_s(std::FILE** file, const char* path, const char* mode);

// True when `a` and `b` both exist and are one file, whatever their names (a
// hard link; on Windows an 8.3 short name and its long name). False when
// either does not exist or cannot be examined.
bool SameFile(const std::string& a, const std::string& b);

// Why the platform would take the plain file name `name` for another file's;
// empty when it would not. On Windows a trailing dot or blank (dropped:
// "public.db." is "public.db") or a ":" (a stream, a drive); never on POSIX.
std::string FileNameProblem(const std::string& name);

}  // namespace FileUtil

namespace ProcessUtil {

// The answer of the single-instance guard.
enum class InstanceGuard {
  kTaken,      // this process holds the guard now, until it ends
  kRunning,    // another live process holds it
  kNotTaken,   // the guard cannot be had; the caller goes on as the first instance
  kUntrusted,  // what stands in the guard's place is not to be trusted
};

// Takes the single-instance guard named `name`: on POSIX a lock file in the
// temporary directory, on Windows a named mutex. Fills `*where` with the guard
// as a log line names it ("lock file /tmp/<name>.lock", "mutex <name>"), and
// for kNotTaken and kUntrusted `*problem` with why in a few words ("it is a
// symbolic link"), else empties it. The guard lives as long as the process.
InstanceGuard TakeInstanceGuard(const char* name, std::string* where, std::string* problem);

// Enables the process's debug privilege; true on success. False on POSIX,
// which has no such privilege.
bool EnableDebugPrivilege();

// From here on the process writes no core file and other processes of its
// user cannot read its memory (the crash reports still work). Nothing on
// Windows.
void DisableCoreDumps();

// From here on a write to a pipe whose reader is gone fails (EPIPE) instead
// of ending the process. Nothing on Windows.
void IgnoreBrokenPipes();

}  // namespace ProcessUtil

namespace DumpUtil {

// Installs the crash handler: a fatal signal writes a crash report (".dmp")
// into the dump directory, then the process dies of the signal as before.
void RunCrashHandler();
// true: reports carry the stack trace.
void SetDumpParam(bool full);
// `limited` true: at most `number` reports are kept in the dump directory.
void SetDumpNumber(bool limited, int number);
void SetDumpPath(const char* dir);

}  // namespace DumpUtil

}  // namespace Base
}  // namespace Quill

#endif  // PLINTH_LIB_QUILLBASE_QUILLBASE_H_
