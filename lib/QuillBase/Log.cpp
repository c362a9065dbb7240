// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// Logging over Apache log4cxx. Lines logged before InitLog has configured
// log4cxx, or after it failed, are written to standard error, so that nothing
// is lost silently; a line that reaches no destination is counted. Every line
// has its control characters and line separators escaped.
#include <log4cxx/consoleappender.h>
#include <log4cxx/fileappender.h>
#include <log4cxx/helpers/bytearrayinputstream.h>
#include <log4cxx/helpers/optionconverter.h>
#include <log4cxx/helpers/pool.h>
#include <log4cxx/helpers/properties.h>
#include <log4cxx/helpers/stringhelper.h>
#include <log4cxx/helpers/transcoder.h>
#include <log4cxx/level.h>
#include <log4cxx/logger.h>
#include <log4cxx/logmanager.h>
#include <log4cxx/propertyconfigurator.h>
#include <log4cxx/rolling/rollingfileappender.h>
#include <log4cxx/rolling/rollingpolicy.h>
#include <log4cxx/rolling/rolloverdescription.h>
#include <log4cxx/spi/configurator.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Format.h"
#include "Port.h"
#include "QuillBase.h"

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

// Set once a line reached none of its destinations.
std::atomic<bool> g_line_lost{false};

// Set once InitLog has configured log4cxx for the tool's lines and made its
// files' modes narrow; RestrictLogFiles does nothing before.
std::atomic<bool> g_files_restricted{false};

// When every appender of the tool's route is a console appender, the streams
// they write to; else empty. log4cxx ignores a failed write to a console, so
// a line is known lost when each of these streams failed while it was written.
std::vector<std::FILE*> g_console_route;

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

// Why an appender of `route` cannot write its lines (one that needs a layout
// and has none writes nothing, not even why; a file appender whose file could
// not be opened is left without a writer by log4cxx); empty when all can.
std::string BrokenAppenderProblem(const log4cxx::AppenderList& route) {
  for (const log4cxx::AppenderPtr& appender : route) {
    LOG4CXX_ENCODE_CHAR(name, appender->getName());
    if (appender->requiresLayout() && !appender->getLayout()) {
      return "its appender " + name + " has no layout";
    }
    const auto writer = log4cxx::cast<log4cxx::WriterAppender>(appender);
    if (!writer || writer->getWriter()) continue;
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

// Reads the properties file at `path` into `*text`. Returns why it cannot
// serve, or the empty string when it is a regular file that was read.
// Reading never blocks (a FIFO, a device).
std::string ReadPropertiesFile(const std::string& path, std::vector<unsigned char>* text) {
  std::FILE* file = nullptr;
  const int err = port::fopen_s(&file, path.c_str(), "rb");
  if (err == EISDIR) return "it is a directory";
  if (err == EINVAL) return "it is not a regular file";
  if (err != 0) return std::strerror(err);
  unsigned char block[8192];
  std::size_t n;
  while ((n = std::fread(block, 1, sizeof block, file)) > 0)
    text->insert(text->end(), block, block + n);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  return failed ? "it cannot be read" : std::string();
}

// The properties a configuration starts from, before its file is loaded:
// those of Configurator::properties() where log4cxx has them (the program's
// path, in later releases), else none. PropertyConfigurator starts from the
// same, so that ${...} in the file is substituted here as it is there.
template <typename Configurator>
auto StartingProperties(int) -> decltype(Configurator::properties()) {
  return Configurator::properties();
}
template <typename Configurator>
log4cxx::helpers::Properties StartingProperties(long) {
  return log4cxx::helpers::Properties();
}

bool IsFileOption(const log4cxx::LogString& option) {
  return log4cxx::helpers::StringHelper::equalsIgnoreCase(option, LOG4CXX_STR("FILE"),
                                                          LOG4CXX_STR("file"));
}

// The File of the appender whose definition is at `appender_key` of
// `properties`, its variables substituted and the value trimmed as log4cxx
// does; empty when it names none.
log4cxx::LogString AppenderFile(log4cxx::helpers::Properties& properties,
                                const log4cxx::LogString& appender_key) {
  const log4cxx::LogString prefix = appender_key + LOG4CXX_STR(".");
  for (const log4cxx::LogString& key : properties.propertyNames()) {
    if (key.compare(0, prefix.size(), prefix) != 0 || !IsFileOption(key.substr(prefix.size()))) {
      continue;
    }
    log4cxx::LogString value = log4cxx::FileAppender::stripDuplicateBackslashes(
        log4cxx::helpers::OptionConverter::findAndSubst(key, properties));
    if (!value.empty()) return value;
  }
  return log4cxx::LogString();
}

// The file that the rolling policy of the appender whose definition is at
// `appender_key` of `properties` has log4cxx open while it reads the
// configuration: when a rolling appender names no File, its policy names the
// file (FileNamePattern at MinIndex, or at the current date). The policy is
// made as log4cxx makes it, and asked. Empty when the appender names a File,
// is not a rolling one or has no policy, and when the policy cannot be made
// (log4cxx, reading the configuration, says why itself).
log4cxx::LogString RollingPolicyFile(log4cxx::helpers::Properties& properties,
                                     const log4cxx::LogString& appender_key) {
  using log4cxx::helpers::OptionConverter;
  if (!AppenderFile(properties, appender_key).empty()) return log4cxx::LogString();
  try {
    const auto appender =
        log4cxx::cast<log4cxx::rolling::RollingFileAppender>(OptionConverter::instantiateByKey(
            properties, appender_key, log4cxx::Appender::getStaticClass(), nullptr));
    const log4cxx::LogString policy_key = appender_key + LOG4CXX_STR(".rollingPolicy");
    const auto policy =
        appender ? log4cxx::cast<log4cxx::rolling::RollingPolicy>(OptionConverter::instantiateByKey(
                       properties, policy_key, log4cxx::rolling::RollingPolicy::getStaticClass(),
                       nullptr))
                 : nullptr;
    if (!policy) return log4cxx::LogString();
    // Its options set and activated as log4cxx's PropertySetter does.
    const log4cxx::LogString option_prefix = policy_key + LOG4CXX_STR(".");
    for (const log4cxx::LogString& key : properties.propertyNames()) {
      if (key.compare(0, option_prefix.size(), option_prefix) != 0 ||
          key.find(LOG4CXX_STR('.'), option_prefix.size()) != log4cxx::LogString::npos) {
        continue;
      }
      const log4cxx::LogString value = OptionConverter::findAndSubst(key, properties);
      if (!value.empty()) policy->setOption(key.substr(option_prefix.size()), value);
    }
    log4cxx::helpers::Pool pool;
    policy->activateOptions(pool);
    const log4cxx::rolling::RolloverDescriptionPtr first =
        policy->initialize(log4cxx::LogString(), true, pool);
    return first ? first->getActiveFileName() : log4cxx::LogString();
  } catch (const std::exception&) {
    return log4cxx::LogString();
  }
}

// Why an appender of `properties` would have log4cxx open something that is
// not a regular file: log4cxx opens an appender's file while it reads the
// configuration, and a FIFO blocks that open until a writer comes, for ever.
// Every appender's File is looked at, with the variables substituted and the
// value trimmed as log4cxx does, and the file a rolling policy names for an
// appender without one (RollingPolicyFile); empty when none is such.
std::string SpecialAppenderFileProblem(log4cxx::helpers::Properties& properties) {
  const log4cxx::LogString prefix = LOG4CXX_STR("log4j.appender.");
  for (const log4cxx::LogString& key : properties.propertyNames()) {
    const std::size_t dot = key.rfind(LOG4CXX_STR('.'));
    if (key.compare(0, prefix.size(), prefix) != 0 || dot < prefix.size()) continue;
    const log4cxx::LogString option = key.substr(dot + 1);
    log4cxx::LogString value;
    if (IsFileOption(option)) {
      value = log4cxx::FileAppender::stripDuplicateBackslashes(
          log4cxx::helpers::OptionConverter::findAndSubst(key, properties));
    } else if (option == LOG4CXX_STR("rollingPolicy")) {
      value = RollingPolicyFile(properties, key.substr(0, dot));
    } else {
      continue;
    }
    LOG4CXX_ENCODE_CHAR(file, value);
    if (file.empty() || !port::ExistsAsNonRegularFile(file)) continue;
    LOG4CXX_ENCODE_CHAR(name, key.substr(prefix.size(), dot - prefix.size()));
    std::string reason = "its appender ";
    reason.append(name)
        .append(" writes to \"")
        .append(file)
        .append("\", which is not a regular file");
    return reason;
  }
  return std::string();
}

// Every file appender of the configuration: those of the root logger and of
// every other logger.
std::vector<log4cxx::FileAppenderPtr> FileAppenders() {
  log4cxx::LoggerList loggers = log4cxx::LogManager::getCurrentLoggers();
  loggers.push_back(log4cxx::LogManager::getRootLogger());
  std::vector<log4cxx::FileAppenderPtr> files;
  for (const log4cxx::LoggerPtr& logger : loggers) {
    for (const log4cxx::AppenderPtr& appender : logger->getAllAppenders()) {
      if (auto file = log4cxx::cast<log4cxx::FileAppender>(appender)) files.push_back(file);
    }
  }
  return files;
}

// The streams of `route` when it holds console appenders only; else empty.
std::vector<std::FILE*> ConsoleStreams(const log4cxx::AppenderList& route) {
  std::vector<std::FILE*> streams;
  for (const log4cxx::AppenderPtr& appender : route) {
    const auto console = log4cxx::cast<log4cxx::ConsoleAppender>(appender);
    if (!console) return std::vector<std::FILE*>();
    LOG4CXX_ENCODE_CHAR(target, console->getTarget());
    streams.push_back(target == "System.err" ? stderr : stdout);
  }
  return streams;
}

const char kHexDigits[] = "0123456789abcdef";

// The length of the UTF-8 sequence at the start of `text` (`size` bytes),
// with its code point in `*code_point`; 0 when it is not a valid sequence
// (a stray continuation byte, a truncated or overlong sequence, a surrogate,
// a value above U+10FFFF).
std::size_t DecodeUtf8(const unsigned char* text, std::size_t size, char32_t* code_point) {
  const unsigned char lead = text[0];
  std::size_t length;
  char32_t value, least;
  if (lead < 0x80) {
    *code_point = lead;
    return 1;
  } else if (lead >= 0xc2 && lead <= 0xdf) {
    length = 2, value = lead & 0x1f, least = 0x80;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    length = 3, value = lead & 0x0f, least = 0x800;
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    length = 4, value = lead & 0x07, least = 0x10000;
  } else {
    return 0;
  }
  if (size < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((text[i] & 0xc0) != 0x80) return 0;
    value = (value << 6) | (text[i] & 0x3f);
  }
  if (value < least || value > 0x10ffff || (value >= 0xd800 && value <= 0xdfff)) return 0;
  *code_point = value;
  return length;
}

void AppendHex(std::string* out, const char* prefix, char32_t value, int digits) {
  *out += prefix;
  for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
    *out += kHexDigits[(value >> shift) & 0xf];
}

// `text` as one line that no reader breaks (see VexaFormatLog).
std::string EscapeLogText(const std::string& text) {
  const auto plain = [](char ch) { return ch >= 0x20 && ch < 0x7f; };
  if (std::all_of(text.begin(), text.end(), plain)) return text;
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  std::string escaped;
  escaped.reserve(text.size() + 16);
  for (std::size_t i = 0; i < text.size();) {
    char32_t c = 0;
    const std::size_t length = DecodeUtf8(bytes + i, text.size() - i, &c);
    if (length == 0) {
      AppendHex(&escaped, "\\x", bytes[i], 2);
      ++i;
      continue;
    }
    if (c == '\n') {
      escaped += "\\n";
    } else if (c == '\r') {
      escaped += "\\r";
    } else if (c == '\t') {
      escaped += "\\t";
    } else if (c < 0x20 || c == 0x7f) {
      AppendHex(&escaped, "\\x", c, 2);
    } else if ((c >= 0x80 && c <= 0x9f) || c == 0x2028 || c == 0x2029) {
      AppendHex(&escaped, "\\u", c, 4);
    } else {
      escaped.append(text, i, length);
    }
    i += length;
  }
  return escaped;
}

// Writes `line` and a line feed to standard error. A failed write (no reader
// any more, a full disk) must not end the run: it answers false.
bool WriteToStandardError(const std::string& line) {
  const bool written = std::fprintf(stderr, "%s\n", line.c_str()) >= 0 && std::fflush(stderr) == 0;
  std::clearerr(stderr);
  return written;
}

// Makes the file of every file appender readable by its owner and group only
// (the group being adm, for a packaged log); not through the umask, which
// would narrow the database files too. A file where that fails is named on
// standard error.
void RestrictFileAppenders() {
  for (const log4cxx::FileAppenderPtr& appender : FileAppenders()) {
    LOG4CXX_ENCODE_CHAR(file, appender->getFile());
    const std::string problem = port::RestrictLogFileAccess(file);
    if (!problem.empty()) {
      std::string line = "log file ";
      line.append(file).append(" keeps its mode: ").append(problem);
      WriteToStandardError(EscapeLogText(line));
    }
  }
}

// Says on standard error why the log configuration at `path` is not used.
void RefuseConfiguration(const std::string& path, const std::string& problem) {
  WriteToStandardError(EscapeLogText("log configuration " + path + " cannot be used: " + problem +
                                     "; logging to standard error"));
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
  const std::string message = EscapeLogText(FormatV(format, args));
  va_end(args);
  if (log4cxx::Logger* const tool = g_tool_logger.load()) {
    const bool tool_line = std::strcmp(module, kToolLogger) == 0;
    if (tool_line && !g_console_route.empty()) {
      for (std::FILE* stream : g_console_route) std::clearerr(stream);
    }
    try {
      if (tool_line) {
        tool->log(Log4cxxLevel(level), message);
      } else {
        log4cxx::Logger::getLogger(module)->log(Log4cxxLevel(level), message);
      }
    } catch (const std::exception& e) {
      // A file that cannot be written (a full disk): the line, why, and every
      // later line go to standard error; the run ends with the exception.
      g_tool_logger.store(nullptr);
      WriteToStandardError(EscapeLogText(std::string("the log cannot be written: ") + e.what() +
                                         "; logging to standard error"));
      WriteToStandardError(std::string(LevelName(level)) + " " + module + " - " + message);
      throw;
    }
    if (tool_line && !g_console_route.empty() &&
        std::all_of(g_console_route.begin(), g_console_route.end(),
                    [](std::FILE* stream) { return std::ferror(stream) != 0; })) {
      g_line_lost.store(true);
    }
    return;
  }
  if (!WriteToStandardError(std::string(LevelName(level)) + " " + module + " - " + message)) {
    g_line_lost.store(true);
  }
}

bool LogLinesLost() { return g_line_lost.load(); }

void CLog::InitLog(const std::string& path) {
  std::vector<unsigned char> text;
  const std::string unreadable = ReadPropertiesFile(path, &text);
  if (!unreadable.empty()) return RefuseConfiguration(path, unreadable);
  UseEnvironmentLocale();
  try {
    log4cxx::helpers::Properties properties = StartingProperties<log4cxx::spi::Configurator>(0);
    properties.load(std::make_shared<log4cxx::helpers::ByteArrayInputStream>(text));
    const std::string special = SpecialAppenderFileProblem(properties);
    if (!special.empty()) return RefuseConfiguration(path, special);
    log4cxx::PropertyConfigurator::configure(properties);
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
  RestrictFileAppenders();
  g_files_restricted.store(true);
  g_console_route = ConsoleStreams(route);
  g_tool_logger.store(tool.get());
}

void CLog::RestrictLogFiles() noexcept {
  if (!g_files_restricted.load()) return;
  try {
    RestrictFileAppenders();
  } catch (const std::exception& e) {
    WriteToStandardError(EscapeLogText(std::string("the log files keep their modes: ") + e.what()));
  }
}

}  // namespace details
}  // namespace Base
}  // namespace Quill
