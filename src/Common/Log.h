// The tool's logging call. PLINTH_LOG(level, format, args...) writes one line
// to the "PLINTH" logger. `format` is written whole, beginning with "[%s]" and
// ending with "[%s(%d)]": the macro passes the calling function's qualified
// name ("plinth::CToolSetup::InitSetup", "main") for the first, and the source
// file's base name and the line for the last.
//
// PLINTH_LOG_AS(function, level, format, args...) does the same with the
// function name given: helpers that log on behalf of an operation pass the
// operation's name, taken with PLINTH_FUNCTION.
#ifndef PLINTH_COMMON_LOG_H_
#define PLINTH_COMMON_LOG_H_

#include <string>

#include "External/QuillBase.h"

namespace plinth {

inline constexpr char kLogModule[] = "PLINTH";

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
#define PLINTH_LOG_CALL_(function, level, format, ...)                       \
  ::Quill::Base::details::VexaFormatLog(level, ::plinth::kLogModule, format, \
                                        std::string(function).c_str(), __VA_ARGS__)
#define PLINTH_LOG(level, ...) PLINTH_LOG_AS(PLINTH_FUNCTION, level, __VA_ARGS__)

#endif  // PLINTH_COMMON_LOG_H_
