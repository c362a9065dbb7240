// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// Logging over Apache log4cxx. Lines logged before InitLog has configured
// log4cxx, or after it failed, are written to standard error, so that nothing
// is lost silently. Every line has its control characters escaped.
#include <log4cxx/file.h>
#include <log4cxx/fileappender.h>
#include <log4cxx/helpers/transcoder.h>
#include <log4cxx/level.h>
#include <log4cxx/logger.h>
#include <log4cxx/propertyconfigurator.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "External/QuillBase.h"
#include "Port/Port.h"
#include "QuillBase/Format.h"

namespace Quill {
namespace Base {
namespace details {
namespace {

const char* LevelName(int level) {
  static const char* const kNames[] = {"TRACE", "DEBUG", "INFO", "WARN", "ERROR", "FATAL"};
  if (level < 1) level = 1;
  if (level > 6) level = 6;
  return kNames[level - 1];
}

log4cxx::LevelPtr Log4cxxLevel(int level) {
  switch (level < 1 ? 1 : level > 6 ? 6 : level) {
    case 1:
      return log4cxx::Level::getTrace();
    case 2:
      return log4cxx::Level::getDebug();
    case 3:
      return log4cxx::Level::getInfo();
    case 4:
      return log4cxx::Level::getWarn();
    case 5:
      return log4cxx::Level::getError();
    default:
      return log4cxx::Level::getFatal();
  }
}

// The logger the tool writes to. A configuration is usable when this
// logger's lines reach appenders, and those can write.
constexpr char kToolLogger[] = "PLINTH";

// The tool's logger once InitLog has configured log4cxx; null before (lines
// then go to standard error). Looking a logger up by name converts the name
// and takes the hierarchy's lock on every line, so it is looked up once. The
// hierarchy owns it and keeps it for the life of the process.
std::atomic<log4cxx::Logger*> g_tool_logger{nullptr};

// The appenders a line of `logger` reaches, as log4cxx routes it: those of the
// logger and of its ancestors, up to the first that is not additive.
log4cxx::AppenderList RouteAppenders(log4cxx::LoggerPtr logger) {
  log4cxx::AppenderList route;
  for (; logger; logger = logger->getParent()) {
    const log4cxx::AppenderList own = logger->getAllAppenders();
    route.insert(route.end(), own.begin(), own.end());
    if (!logger->getAdditivity()) break;
  }
  return route;
}

// Why an appender of `route` cannot write its lines (a file appender whose
// file could not be opened is left without a writer by log4cxx); empty when
// all can.
std::string BrokenAppenderProblem(const log4cxx::AppenderList& route) {
  for (const log4cxx::AppenderPtr& appender : route) {
    const auto writer = log4cxx::cast<log4cxx::WriterAppender>(appender);
    if (!writer || writer->getWriter()) continue;
    LOG4CXX_ENCODE_CHAR(name, appender->getName());
    std::string problem = "its appender " + name;
    const auto file = log4cxx::cast<log4cxx::FileAppender>(appender);
    if (!file) return problem + " has no output";
    LOG4CXX_ENCODE_CHAR(file_name, file->getFile());
    problem += " cannot open its file \"";
    problem += file_name;
    return problem + "\"";
  }
  return std::string();
}

// Why the properties file at `path` cannot serve; empty when it is a regular
// file that can be read. Looking never blocks (a FIFO, a device).
std::string PropertiesFileProblem(const std::string& path) {
  std::FILE* file = nullptr;
  const int err = port::fopen_s(&file, path.c_str(), "rb");
  if (err == 0) {
    std::fclose(file);
    return std::string();
  }
  if (err == EISDIR) return "it is a directory";
  if (err == EINVAL) return "it is not a regular file";
  return std::strerror(err);
}

const char kHexDigits[] = "0123456789abcdef";

// `text` with every control character escaped (see VexaFormatLog).
std::string EscapeControlCharacters(std::string text) {
  const auto is_control = [](char ch) {
    const auto c = static_cast<unsigned char>(ch);
    return c < 0x20 || c == 0x7f;
  };
  if (std::none_of(text.begin(), text.end(), is_control)) return text;
  std::string escaped;
  escaped.reserve(text.size() + 16);
  for (const char ch : text) {
    if (!is_control(ch)) {
      escaped += ch;
    } else if (ch == '\n') {
      escaped += "\\n";
    } else if (ch == '\r') {
      escaped += "\\r";
    } else if (ch == '\t') {
      escaped += "\\t";
    } else {
      const auto c = static_cast<unsigned char>(ch);
      escaped += "\\x";
      escaped += kHexDigits[c >> 4];
      escaped += kHexDigits[c & 0xf];
    }
  }
  return escaped;
}

// Writes `line` and a line feed to standard error. A failed write (no reader
// any more, a full disk) is ignored: it must not end the run.
void WriteToStandardError(const std::string& line) {
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
  std::clearerr(stderr);
}

// Says on standard error why the log configuration at `path` is not used.
void RefuseConfiguration(const std::string& path, const std::string& problem) {
  WriteToStandardError(EscapeControlCharacters(
      "log configuration " + path + " cannot be used: " + problem + "; logging to standard error"));
}

// log4cxx turns file names into the file system's bytes through the C
// library's locale, which is "C" (ASCII only) until the program sets one. Take
// the environment's; where that is the plain C locale, take C.UTF-8 so that
// names with other bytes reach the file system unchanged.
void UseEnvironmentLocale() {
  const char* name = std::setlocale(LC_CTYPE, "");
  if (name == nullptr || std::strcmp(name, "C") == 0 || std::strcmp(name, "POSIX") == 0) {
    std::setlocale(LC_CTYPE, "C.UTF-8");
  }
}

}  // namespace

void VexaFormatLog(int level, const char* module, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string message = EscapeControlCharacters(FormatV(format, args));
  va_end(args);
  if (log4cxx::Logger* const tool = g_tool_logger.load()) {
    if (std::strcmp(module, kToolLogger) == 0) {
      tool->log(Log4cxxLevel(level), message);
    } else {
      log4cxx::Logger::getLogger(module)->log(Log4cxxLevel(level), message);
    }
    return;
  }
  WriteToStandardError(std::string(LevelName(level)) + " " + module + " - " + message);
}

void CLog::InitLog(const std::string& path) {
  const std::string unreadable = PropertiesFileProblem(path);
  if (!unreadable.empty()) return RefuseConfiguration(path, unreadable);
  UseEnvironmentLocale();
  try {
    log4cxx::PropertyConfigurator::configure(log4cxx::File(path));
  } catch (const std::exception& e) {
    return RefuseConfiguration(path, e.what());
  }
  const log4cxx::LoggerPtr tool = log4cxx::Logger::getLogger(kToolLogger);
  const log4cxx::AppenderList route = RouteAppenders(tool);
  if (route.empty()) {
    return RefuseConfiguration(path, std::string("it gives the logger ") + kToolLogger +
                                         " (and its ancestors) no appender");
  }
  const std::string broken = BrokenAppenderProblem(route);
  if (!broken.empty()) return RefuseConfiguration(path, broken);
  g_tool_logger.store(tool.get());
}

}  // namespace details
}  // namespace Base
}  // namespace Quill
