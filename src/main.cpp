// Copyright 2026 The Plinth authors. Licensed under the Apache License, Version 2.0 (LICENSE).
// Plinth: creates and initialises the SQLite databases of one plug-in.
// Usage: Plinth <plug-in name>. Exit code 0 on success, 1 on failure.
// Plinth --check <plug-in name> checks the plug-in without building it.
// Plinth --help and Plinth --version print and exit (CommandLine.h).
#include <cstdint>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>

#include "Business/NameCheck.h"
#include "CommandLine.h"
#include "Common/Log.h"
#include "Config/ProductLayout.h"
#include "ExecuteInit.h"
#include "QuillBase.h"

namespace {

using plinth::LogLevel;
using Quill::Base::ProcessUtil::InstanceGuard;
namespace FileUtil = Quill::Base::FileUtil;
namespace ProcessUtil = Quill::Base::ProcessUtil;

constexpr char kInstanceName[] = "{A6953687-CDEA-5AB4-8767-5Yid5aeL5YyW5bel5YW3}";

// Takes the single-instance guard for the run of `function`. A guard that
// cannot be had, or one not to be trusted, is reported in one line (on
// standard error, as logging is not set up yet).
InstanceGuard TakeInstanceGuard(const std::string& function) {
  std::string guard, problem;
  const InstanceGuard answer = ProcessUtil::TakeInstanceGuard(kInstanceName, &guard, &problem);
  if (answer == InstanceGuard::kNotTaken) {
    PLINTH_LOG_AS(function, LogLevel::kWarn,
                  "[%s]%s cannot be taken: %s. go on as the first instance.[%s(%d)]", guard.c_str(),
                  problem.c_str());
  } else if (answer == InstanceGuard::kUntrusted) {
    PLINTH_LOG_AS(function, LogLevel::kError, "[%s]%s is not trusted: %s. exit![%s(%d)]",
                  guard.c_str(), problem.c_str());
  }
  return answer;
}

bool EnableDebugPrivilege() { return ProcessUtil::EnableDebugPrivilege(); }

// The start-up routine. False, before any file is read, when the executable's
// directory cannot be determined: every file of the tool is found from it.
bool InitEnvironment() {
  using namespace Quill::Base;
  EnableDebugPrivilege();
  DumpUtil::RunCrashHandler();
  DumpUtil::SetDumpParam(true);
  DumpUtil::SetDumpNumber(true, 3);
  const std::string exe_dir = StringUtil::Local2UTF8(FileUtil::GetCurExeDir());
  if (exe_dir.empty()) return false;
  CSingleton<details::CLog>::Instance()->InitLog(plinth::LogConfigurationPath(exe_dir));
  // A directory fixed at build time, or beside the executable.
  const std::string fixed_dump_dir = PLINTH_DUMP_DIR;
  DumpUtil::SetDumpPath(fixed_dump_dir.empty() ? exe_dir.c_str() : fixed_dump_dir.c_str());
  FileUtil::InitCurExeDirUtf8(exe_dir);
  return true;
}

// The start of both a run and a check, after the environment: the plug-in
// name, logged for `function` with its "Init." or "Check." line when one was
// given. False, logged, when none was given, or an empty or refused one: the
// name becomes a directory name below the system directory.
bool AcceptPluginName(const std::string& function, plinth::Request request,
                      const std::optional<std::string>& plugin) {
  if (plugin && request == plinth::Request::kCheck) {
    PLINTH_LOG_AS(function, LogLevel::kInfo, "[%s]%s Check.[%s(%d)]", plugin->c_str());
  } else if (plugin) {
    PLINTH_LOG_AS(function, LogLevel::kInfo, "[%s]%s Init.[%s(%d)]", plugin->c_str());
  }
  const std::string name = plugin.value_or(std::string());
  const std::string problem = plinth::PluginNameProblem(name);
  if (!problem.empty()) {
    PLINTH_LOG_AS(function, LogLevel::kError, "[%s]plugin name \"%s\" refused: %s.[%s(%d)]",
                  name.c_str(), problem.c_str());
  }
  return plugin && !name.empty() && problem.empty();
}

// Ends a run or a check that did its work, as `function`: 0 and the success
// line, unless a log line was lost on the way (a closed standard error that
// the lines go to), or that line is: a run whose log is lost cannot claim
// success.
int EndSuccessfully(const std::string& function, plinth::Request request) {
  const bool check = request == plinth::Request::kCheck;
  if (!Quill::Base::details::LogLinesLost()) {
    if (check) {
      PLINTH_LOG_AS(function, LogLevel::kInfo, "[%s]CHECK Plinth SUCCESS.[%s(%d)]");
    } else {
      PLINTH_LOG_AS(function, LogLevel::kInfo, "[%s]RUN Plinth SUCCESS.[%s(%d)]");
    }
    if (!Quill::Base::details::LogLinesLost()) return 0;
  }
  if (check) {
    PLINTH_LOG_AS(function, LogLevel::kError,
                  "[%s]CHECK Plinth FAILED. log lines were lost![%s(%d)]");
  } else {
    PLINTH_LOG_AS(function, LogLevel::kError,
                  "[%s]RUN Plinth FAILED. log lines were lost![%s(%d)]");
  }
  return 1;
}

// Builds the databases of `plugin`, logging as `function`: the single-instance
// guard, the environment, the name, the sequence. Returns the exit code.
int RunPlugin(const std::string& function, const std::optional<std::string>& plugin) {
  const InstanceGuard guard = TakeInstanceGuard(function);
  if (guard == InstanceGuard::kRunning) {
    PLINTH_LOG_AS(function, LogLevel::kWarn, "[%s]Already exists Plinth.exe. exit![%s(%d)]");
    return 0;
  }
  if (guard == InstanceGuard::kUntrusted) return 1;
  if (!InitEnvironment()) {
    PLINTH_LOG_AS(
        function, LogLevel::kError,
        "[%s]RUN Plinth FAILED. the executable's directory cannot be determined![%s(%d)]");
    return 1;
  }
  PLINTH_LOG_AS(function, LogLevel::kInfo, "[%s]RUN Plinth START.[%s(%d)]");
  if (!AcceptPluginName(function, plinth::Request::kRun, plugin)) {
    PLINTH_LOG_AS(function, LogLevel::kError, "[%s]RUN Plinth FAILED. input param error![%s(%d)]");
    return 1;
  }
  std::int32_t err_code = 0;
  if (plinth::CExecuteInit::ExecInitDB(err_code, *plugin)) {
    return EndSuccessfully(function, plinth::Request::kRun);
  }
  if (err_code == 0) err_code = 5;
  PLINTH_LOG_AS(function, LogLevel::kError, "[%s]%s plugin Init FAILED.err_code:%d.[%s(%d)]",
                plugin->c_str(), static_cast<int>(err_code));
  return 1;
}

// Checks `plugin` without building it, logging as `function`: the environment,
// the name, the check's sequence; no single-instance guard, as it writes
// nothing. Returns the exit code.
int CheckPlugin(const std::string& function, const std::optional<std::string>& plugin) {
  if (!InitEnvironment()) {
    PLINTH_LOG_AS(
        function, LogLevel::kError,
        "[%s]CHECK Plinth FAILED. the executable's directory cannot be determined![%s(%d)]");
    return 1;
  }
  PLINTH_LOG_AS(function, LogLevel::kInfo, "[%s]CHECK Plinth START.[%s(%d)]");
  if (!AcceptPluginName(function, plinth::Request::kCheck, plugin)) {
    PLINTH_LOG_AS(function, LogLevel::kError,
                  "[%s]CHECK Plinth FAILED. input param error![%s(%d)]");
    return 1;
  }
  std::int32_t err_code = 0;
  if (plinth::CExecuteInit::CheckInitDB(err_code, *plugin)) {
    return EndSuccessfully(function, plinth::Request::kCheck);
  }
  if (err_code == 0) err_code = 5;
  PLINTH_LOG_AS(function, LogLevel::kError,
                "[%s]CHECK Plinth FAILED. %s plugin err_code:%d.[%s(%d)]", plugin->c_str(),
                static_cast<int>(err_code));
  return 1;
}

// Ends a run or check that an exception (memory exhausted, ...) reached
// `signature` with: one failure line naming it, or, when even that line
// cannot be written, a fixed line on standard error. Returns the exit code 1.
int ExitOnException(plinth::Request request, const char* signature, const char* what) noexcept {
  const bool check = request == plinth::Request::kCheck;
  const char* const verb = check ? "CHECK" : "RUN";
  try {
    const std::string function = plinth::QualifiedFunctionName(signature);
    if (check) {
      PLINTH_LOG_AS(function, LogLevel::kError,
                    "[%s]CHECK Plinth FAILED. uncaught exception: %s![%s(%d)]", what);
    } else {
      PLINTH_LOG_AS(function, LogLevel::kError,
                    "[%s]RUN Plinth FAILED. uncaught exception: %s![%s(%d)]", what);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr,
                 "%s Plinth FAILED. an exception ended the run: %s; its log line failed too: %s\n",
                 verb, what, e.what());
  } catch (...) {
    std::fprintf(stderr,
                 "%s Plinth FAILED. an exception ended the run: %s; its log line failed too.\n",
                 verb, what);
  }
  return 1;
}

}  // namespace

int main(int argc, char* argv[]) {
  const plinth::Request request = plinth::ReadRequest(argc, argv);
  try {
    // --help, --version and a usage error only print: no lock, no file, no
    // log line.
    if (request != plinth::Request::kRun && request != plinth::Request::kCheck) {
      return plinth::AnswerRequest(request, argv[0]);
    }
    // Before anything is read: the key never reaches a core file, and a
    // standard error whose reader is gone cannot end the run.
    ProcessUtil::DisableCoreDumps();
    ProcessUtil::IgnoreBrokenPipes();
    const std::optional<std::string> plugin = plinth::PluginArgument(request, argc, argv);
    return request == plinth::Request::kCheck ? CheckPlugin(PLINTH_FUNCTION, plugin)
                                              : RunPlugin(PLINTH_FUNCTION, plugin);
  } catch (const std::exception& e) {
    return ExitOnException(request, PLINTH_SIGNATURE, e.what());
  } catch (...) {
    return ExitOnException(request, PLINTH_SIGNATURE, "(unknown type)");
  }
}
