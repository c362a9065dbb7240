// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// The tool's logging call. PLINTH_LOG(level, format, args...) writes one line
// to the "PLINTH" logger at `level`, a LogLevel (LogLevel::kInfo, kWarn,
// kError, kFatal; a bare number does not compile). `format` is written whole,
// beginning with "[%s]" and ending with "[%s(%d)]": the macro passes the
// calling function's qualified name ("plinth::CToolSetup::InitSetup", "main")
// for the first, and the source file's base name and the line for the last.
//
// PLINTH_LOG_AS(function, level, format, args...) does the same with the
// function name given: a helper in the operation's own source file logs on
// behalf of the operation with the operation's name, taken with
// PLINTH_FUNCTION.
//
// PLINTH_LOG_AT(site, level, format, args...) logs at a LogSite: a helper in
// another source file takes the site of the operation's call (PLINTH_HERE)
// and logs its lines as the operation's own, with the operation's name, file
// and the line of the call.
#ifndef PLINTH_COMMON_LOG_H_
#define PLINTH_COMMON_LOG_H_

#include <string>

#include "QuillBase.h"

namespace plinth {

inline constexpr char kLogModule[] = "PLINTH";

// The levels of log lines (QuillBase.h).
using LogLevel = Quill::Base::LogLevel;

// The number VexaFormatLog takes for `level`. Takes a LogLevel alone, so that
// the logging macros refuse a bare number.
constexpr int LogLevelNumber(LogLevel level) { return static_cast<int>(level); }

// "bool plinth::CToolSetup::InitSetup()" -> "plinth::CToolSetup::InitSetup".
// A name without a parameter list comes back unchanged.
std::string QualifiedFunctionName(const char* signature);

// "src/Business/InitDBManager.cpp" -> "InitDBManager.cpp".
constexpr const char* SourceBaseName(const char* path) {
  const char* base = path;
  for (const char* p = path; *p != '\0'; ++p) {
    if (*p == '/' || *p == '\\') base = p + 1;
  }
  return base;
}

// Where lines are logged for: the qualified name of an operation, and the
// source file (base name) and line of its call to the helper that logs.
struct LogSite {
  std::string function;
  const char* file;
  int line;
};

}  // namespace plinth

#if defined(_MSC_VER)
#define PLINTH_SIGNATURE __FUNCSIG__
#else
#define PLINTH_SIGNATURE __PRETTY_FUNCTION__
#endif

#define PLINTH_FUNCTION (::plinth::QualifiedFunctionName(PLINTH_SIGNATURE))

// The file and line are appended to the arguments, so the inner macro always
// has arguments after the format and the call stays a direct printf-style call
// that the compiler checks.
#define PLINTH_LOG_AS(function, level, ...) \
  PLINTH_LOG_CALL_(function, level, __VA_ARGS__, ::plinth::SourceBaseName(__FILE__), __LINE__)
#define PLINTH_LOG_CALL_(function, level, format, ...)                                         \
  ::Quill::Base::details::VexaFormatLog(::plinth::LogLevelNumber(level), ::plinth::kLogModule, \
                                        format, std::string(function).c_str(), __VA_ARGS__)
#define PLINTH_LOG(level, ...) PLINTH_LOG_AS(PLINTH_FUNCTION, level, __VA_ARGS__)

// The site of this line, logging for `function`; PLINTH_HERE, for the
// function it is written in.
#define PLINTH_SITE(function) \
  (::plinth::LogSite{function, ::plinth::SourceBaseName(__FILE__), __LINE__})
#define PLINTH_HERE PLINTH_SITE(PLINTH_FUNCTION)

#define PLINTH_LOG_AT(site, level, ...) \
  PLINTH_LOG_AT_CALL_(site, level, __VA_ARGS__, (site).file, (site).line)
#define PLINTH_LOG_AT_CALL_(site, level, format, ...)                                          \
  ::Quill::Base::details::VexaFormatLog(::plinth::LogLevelNumber(level), ::plinth::kLogModule, \
                                        format, (site).function.c_str(), __VA_ARGS__)

#endif  // PLINTH_COMMON_LOG_H_
