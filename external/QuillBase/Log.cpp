// Logging over Apache log4cxx. Lines logged before InitLog has configured
// log4cxx, or after it failed, are written to standard error, so that nothing
// is lost silently.
#include <log4cxx/file.h>
#include <log4cxx/level.h>
#include <log4cxx/logger.h>
#include <log4cxx/propertyconfigurator.h>

#include <atomic>
#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "External/QuillBase.h"
#include "QuillBase/Format.h"

namespace Quill {
namespace Base {
namespace details {
namespace {

std::atomic<bool> g_configured{false};

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

// True when a line of `logger` reaches at least one appender.
bool HasDestination(log4cxx::LoggerPtr logger) {
  for (; logger; logger = logger->getParent()) {
    if (!logger->getAllAppenders().empty()) return true;
    if (!logger->getAdditivity()) return false;
  }
  return false;
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
  const std::string message = FormatV(format, args);
  va_end(args);
  if (g_configured.load()) {
    log4cxx::LoggerPtr logger = log4cxx::Logger::getLogger(module);
    logger->log(Log4cxxLevel(level), message);
    return;
  }
  std::fprintf(stderr, "%s %s - %s\n", LevelName(level), module, message.c_str());
  std::fflush(stderr);
}

void CLog::InitLog(const std::string& path) {
  if (!std::ifstream(path, std::ios::binary).is_open()) {
    std::fprintf(stderr, "log configuration %s cannot be read; logging to standard error\n",
                 path.c_str());
    return;
  }
  UseEnvironmentLocale();
  try {
    log4cxx::PropertyConfigurator::configure(log4cxx::File(path));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "log configuration %s failed: %s; logging to standard error\n",
                 path.c_str(), e.what());
    return;
  }
  // The tool logs under its module names; a file that gives the root logger
  // no appender would swallow every line.
  if (!HasDestination(log4cxx::Logger::getRootLogger())) {
    std::fprintf(stderr,
                 "log configuration %s gives the root logger no appender; "
                 "logging to standard error\n",
                 path.c_str());
    return;
  }
  g_configured.store(true);
}

}  // namespace details
}  // namespace Base
}  // namespace Quill
